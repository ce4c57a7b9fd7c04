add_test(NAME packaging_consumer
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/support/consumer_test.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
set_tests_properties(packaging_consumer PROPERTIES TIMEOUT 300)
# A consumer built without sanitizers cannot load a sanitizer-built library.
if(NOT TCORE_SANITIZE STREQUAL "")
  set_tests_properties(packaging_consumer PROPERTIES DISABLED TRUE)
endif()

# The Debian packages, installed into this system and purged again (root
# only; skipped otherwise). Run alone: while the packages are installed the
# build tree's library reads the installed catalogue, which the purge removes.
add_test(NAME packaging_deb
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/support/package_test.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR}
          ${PROJECT_VERSION} ${PROJECT_VERSION_MAJOR} $<IF:$<TARGET_EXISTS:tcore-daemon>,1,0>)
set_tests_properties(packaging_deb PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77 RUN_SERIAL TRUE)
if(NOT TCORE_SANITIZE STREQUAL "" OR NOT TCORE_BUILD_TOOLS)
  set_tests_properties(packaging_deb PROPERTIES DISABLED TRUE)
endif()
