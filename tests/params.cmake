# params tests
vardis_add_test(params_tests SOURCES params_names_test.cpp params_report_test.cpp params_report_full_test.cpp LIBS vardis_core)
