# The tools test runs the operator programs from the build tree: building it
# builds them, and without them it is not run.
if(TCORE_BUILD_TOOLS)
  add_dependencies(tools_test tcore-listen tcore-send tcore-ping tcore-config tcore-scramble tcore-msg)
else()
  set_tests_properties(tools_test PROPERTIES DISABLED TRUE)
endif()

# In address-sanitizer builds the tools' leak check meets the ODBC driver
# manager's caches from a library it has already unloaded, which no
# suppression can name; the library's own ODBC code is leak-checked by the
# database tests.
if(TCORE_SANITIZE STREQUAL "address")
  set_tests_properties(tools_test PROPERTIES ENVIRONMENT
    "TCORE_SOURCE_DIR=${CMAKE_SOURCE_DIR};TCORE_BINARY_DIR=${CMAKE_BINARY_DIR};ASAN_OPTIONS=detect_leaks=0")
endif()
