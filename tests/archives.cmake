# archives tests
vardis_add_test(archives_tests
  SOURCES archives_hourly_test.cpp archives_daily_test.cpp archives_monthly_test.cpp
          archives_write_failure_test.cpp
  archives_data_test.cpp
  LIBS vardis_core)
