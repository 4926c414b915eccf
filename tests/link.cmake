vardis_add_test(link_tests
  SOURCES link_protocol_test.cpp link_session_test.cpp platform_test.cpp
  LIBS vardis_core)

vardis_add_test(core_tests
  SOURCES connection_identification_test.cpp values_test.cpp
  LIBS vardis_core)

if(TARGET vardis_cli_lib)
  vardis_add_test(cli_tests
    SOURCES cli_test.cpp
    LIBS vardis_cli_lib)
endif()
