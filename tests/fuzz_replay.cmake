# The fuzz targets' checks in the ordinary build: every kept input
# (fuzz/corpus/<target>, fuzz/findings/<target>) and fresh seeds are run
# through the same functions as the libFuzzer programs.
include(${CMAKE_SOURCE_DIR}/fuzz/FuzzChecks.cmake)
target_sources(fuzz_replay_test PRIVATE ${TCORE_FUZZ_CHECK_SOURCES} ${CMAKE_SOURCE_DIR}/fuzz/FuzzSeeds.cpp)
target_include_directories(fuzz_replay_test PRIVATE ${CMAKE_SOURCE_DIR}/fuzz)
target_compile_definitions(fuzz_replay_test PRIVATE TCORE_FUZZ_DIR="${CMAKE_SOURCE_DIR}")

# Writes the seed corpora: fuzz_seeds DIR (one directory per target).
add_executable(fuzz_seeds ${TCORE_FUZZ_CHECK_SOURCES} ${CMAKE_SOURCE_DIR}/fuzz/FuzzSeeds.cpp
  ${CMAKE_SOURCE_DIR}/fuzz/fuzz_seeds_main.cpp)
target_include_directories(fuzz_seeds PRIVATE ${CMAKE_SOURCE_DIR}/fuzz)
target_link_libraries(fuzz_seeds PRIVATE tcore_test_support)
