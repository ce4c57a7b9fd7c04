# The database tests find the project's driver definitions (etc/odbcinst.ini)
# and the script that runs their private PostgreSQL cluster in the source tree.
target_compile_definitions(tcore_test_support PRIVATE TCORE_TEST_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
