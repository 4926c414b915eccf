# Durability: the real vardis-cli against the real vardis-meter-sim, killed
# right after a report, and writing into a missing, read-only or full place.
vardis_add_test(durability_tests SOURCES durability_test.cpp)
target_compile_definitions(durability_tests PRIVATE
  VARDIS_CLI_PATH="$<TARGET_FILE:vardis-cli>"
  VARDIS_METER_SIM_PATH="$<TARGET_FILE:vardis-meter-sim>")
add_dependencies(durability_tests vardis-cli vardis-meter-sim)
