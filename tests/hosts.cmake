# The data move across hosts on a bed of network namespaces: the plain move
# (with each host's name on a loopback address, as on a default install) and
# one run per fault. Each skips (77) where the machine forbids namespaces.
if(TCORE_BUILD_TOOLS)
  set(TCORE_HOSTS_DEMO sh ${CMAKE_SOURCE_DIR}/tests/support/hosts_demo.sh ${CMAKE_BINARY_DIR})
  set(TCORE_FAULT_ARGS --rows 600 --fetch 50 --pace 250 --send-timeout 2000)
  add_test(NAME demo_hosts COMMAND ${TCORE_HOSTS_DEMO} --loopback-names --rows 400 --fetch 50)
  foreach(fault kill-agent link-down db-stop daemon-restart)
    string(REPLACE "-" "_" name ${fault})
    add_test(NAME hosts_fault_${name} COMMAND ${TCORE_HOSTS_DEMO} --fault ${fault} ${TCORE_FAULT_ARGS})
    list(APPEND TCORE_HOSTS_TESTS hosts_fault_${name})
  endforeach()
  # The move in plain TCP and inside TLS, each captured at the hub.
  add_test(NAME demo_hosts_tls_capture
    COMMAND sh ${CMAKE_SOURCE_DIR}/tests/support/tls_capture_test.sh ${CMAKE_BINARY_DIR})
  list(APPEND TCORE_HOSTS_TESTS demo_hosts_tls_capture)
  set_tests_properties(demo_hosts ${TCORE_HOSTS_TESTS} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 240)
  add_dependencies(hosts_test tcore-agent tcore-send)
else()
  set_target_properties(hosts_test PROPERTIES EXCLUDE_FROM_ALL TRUE)
  set_tests_properties(hosts_test PROPERTIES DISABLED TRUE)
endif()
