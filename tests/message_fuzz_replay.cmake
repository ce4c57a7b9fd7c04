# The message fuzz corpus replay decodes with the fuzz target's own function.
target_sources(message_fuzz_replay_test PRIVATE ${CMAKE_SOURCE_DIR}/fuzz/MessageFuzzDecode.cpp)
target_include_directories(message_fuzz_replay_test PRIVATE ${CMAKE_SOURCE_DIR}/fuzz)
target_compile_definitions(message_fuzz_replay_test PRIVATE
  TCORE_MESSAGE_FUZZ_CORPUS="${CMAKE_SOURCE_DIR}/fuzz/message_corpus")
