# The agent daemon's test runs tcore-daemon and tcore-agent from the build
# tree and speaks the daemon's protocol through the tools' support code.
if(TCORE_BUILD_TOOLS)
  target_link_libraries(daemon_test PRIVATE tcore_tool_support)
  add_dependencies(daemon_test tcore-daemon tcore-agent)
else()
  set_target_properties(daemon_test PROPERTIES EXCLUDE_FROM_ALL TRUE)
  set_tests_properties(daemon_test PROPERTIES DISABLED TRUE)
endif()
