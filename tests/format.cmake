# format tests
vardis_add_test(format_tests
  SOURCES format_numtext_test.cpp format_cp1251_test.cpp format_report_file_test.cpp
  LIBS vardis_core)
