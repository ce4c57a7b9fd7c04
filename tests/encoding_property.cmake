# The property test walks every list kind with the fuzz target's codec table.
target_include_directories(encoding_property_test PRIVATE ${CMAKE_SOURCE_DIR}/fuzz)
