# sim tests
vardis_add_test(sim_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/sim_model_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sim_protocol_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sim_data_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sim_line_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sim_program_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sim_modem_test.cpp
  LIBS vardis_sim)
# The program tests start the simulator program itself.
target_compile_definitions(sim_tests PRIVATE VARDIS_METER_SIM_PATH="$<TARGET_FILE:vardis-meter-sim>")
add_dependencies(sim_tests vardis-meter-sim)
