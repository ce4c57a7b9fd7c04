# The fuzz corpus replay decodes with the fuzz target's own function.
target_sources(encoding_fuzz_replay_test PRIVATE ${CMAKE_SOURCE_DIR}/fuzz/EncodingFuzzDecode.cpp)
target_include_directories(encoding_fuzz_replay_test PRIVATE ${CMAKE_SOURCE_DIR}/fuzz)
target_compile_definitions(encoding_fuzz_replay_test PRIVATE TCORE_FUZZ_CORPUS="${CMAKE_SOURCE_DIR}/fuzz/corpus")
