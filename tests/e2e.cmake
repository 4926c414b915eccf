# End-to-end: the real serial line on QSerialPort against the simulated meter.
add_executable(e2e_tests e2e_main.cpp e2e_link_test.cpp)
target_link_libraries(e2e_tests PRIVATE vardis_qtline vardis_sim vardis_core GTest::gtest
                      Threads::Threads)
target_include_directories(e2e_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
gtest_discover_tests(e2e_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
