# The sources of the fuzz checks (fuzz/FuzzTargets.h), shared by the
# libFuzzer programs and the replay test of the ordinary build. The row
# conversion of the configuration store uses a helper the library keeps
# hidden, so its source is compiled in as well.
set(TCORE_FUZZ_CHECK_SOURCES
  ${CMAKE_SOURCE_DIR}/fuzz/FuzzTargets.cpp
  ${CMAKE_SOURCE_DIR}/fuzz/EncodingFuzz.cpp
  ${CMAKE_SOURCE_DIR}/fuzz/MessageFuzz.cpp
  ${CMAKE_SOURCE_DIR}/fuzz/ConversionFuzz.cpp
  ${CMAKE_SOURCE_DIR}/fuzz/ConnectStringFuzz.cpp
  ${CMAKE_SOURCE_DIR}/fuzz/MoCatalogueFuzz.cpp
  ${CMAKE_SOURCE_DIR}/fuzz/IniFileFuzz.cpp
  ${CMAKE_SOURCE_DIR}/fuzz/ConfigValueFuzz.cpp
  ${CMAKE_SOURCE_DIR}/fuzz/FrameFuzz.cpp
  ${CMAKE_SOURCE_DIR}/db/OdbcDriver.cpp)
# Test helpers the checks use (no GoogleTest in them).
set(TCORE_FUZZ_SUPPORT_SOURCES
  ${CMAKE_SOURCE_DIR}/tests/support/MessageTestSupport.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/MoWriter.cpp)
