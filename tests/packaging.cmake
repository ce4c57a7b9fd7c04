add_test(NAME packaging_consumer
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/support/consumer_test.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
set_tests_properties(packaging_consumer PROPERTIES TIMEOUT 300)
