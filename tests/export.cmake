# vardis-cli data exports, end to end: the real serial line on QSerialPort
# against the simulated meter, with the Qt application object of e2e_main.cpp.
add_executable(export_tests e2e_main.cpp cli_export_test.cpp)
target_link_libraries(export_tests PRIVATE vardis_cli_lib vardis_sim vardis_qtline vardis_core
                      GTest::gtest Qt6::Core Threads::Threads)
target_include_directories(export_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
gtest_discover_tests(export_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
