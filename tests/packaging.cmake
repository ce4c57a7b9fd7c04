add_test(NAME packaging_consumer
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/support/consumer_test.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
set_tests_properties(packaging_consumer PROPERTIES TIMEOUT 300)
# A consumer built without sanitizers cannot load a sanitizer-built library.
if(NOT TCORE_SANITIZE STREQUAL "")
  set_tests_properties(packaging_consumer PROPERTIES DISABLED TRUE)
endif()
