vardis_add_test(link_tests
  SOURCES link_protocol_test.cpp link_session_test.cpp
  LIBS vardis_core)
