# The tools test runs the operator programs from the build tree: building it
# builds them, and without them it is not run.
if(TCORE_BUILD_TOOLS)
  add_dependencies(tools_test tcore-listen tcore-send tcore-ping tcore-config tcore-scramble tcore-msg)
else()
  set_tests_properties(tools_test PROPERTIES DISABLED TRUE)
endif()
