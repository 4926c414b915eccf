# End-to-end: the real serial line on QSerialPort against the simulated meter.
add_executable(e2e_tests e2e_main.cpp e2e_link_test.cpp)
target_link_libraries(e2e_tests PRIVATE vardis_qtline vardis_sim vardis_core GTest::gtest
                      Threads::Threads)
target_include_directories(e2e_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
gtest_discover_tests(e2e_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
# The GSM connection: the tool's modem commands against the simulated modem.
target_sources(e2e_tests PRIVATE e2e_modem_test.cpp)
target_link_libraries(e2e_tests PRIVATE vardis_cli_lib)
# The archive reports from pinned records of the simulated meter.
target_sources(e2e_tests PRIVATE archives_sim_test.cpp)

# The fault matrix: real readings through each fault of the line.
add_executable(fault_matrix_tests e2e_main.cpp fault_matrix_test.cpp)
target_link_libraries(fault_matrix_tests PRIVATE vardis_qtline vardis_sim vardis_core GTest::gtest
                      Threads::Threads)
target_include_directories(fault_matrix_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
gtest_discover_tests(fault_matrix_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
