vardis_add_test(nodes_tests SOURCES link_nodes_test.cpp LIBS vardis_core)
