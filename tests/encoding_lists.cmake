# The list tests walk every list kind with the fuzz target's codec table.
target_include_directories(encoding_lists_test PRIVATE ${CMAKE_SOURCE_DIR}/fuzz)
