# The end-to-end data move, shortened: kernel, agent and logger as separate
# processes over loopback, a small table, SQLite databases.
add_test(NAME demo_short
  COMMAND $<TARGET_FILE:tcore-demo> --rows 3000 --fetch 250 --workdir ${CMAKE_BINARY_DIR}/demo-test-work)
set_tests_properties(demo_short PROPERTIES TIMEOUT 300
  PASS_REGULAR_EXPRESSION "result +complete and verified")
