# The database tests find the project's driver definitions (etc/odbcinst.ini)
# and the script that runs their private PostgreSQL cluster in the source tree.
target_compile_definitions(tcore_test_support PRIVATE TCORE_TEST_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

# The driver manager loads and unloads the drivers' libodbcinst; its ini cache
# then shows in leak reports from an unknown module that no suppression can
# name. Keeping the library loaded for the whole run lets the suppressions in
# tests/support/DbTestEnv.cpp match.
find_library(TCORE_ODBCINST_LIBRARY odbcinst)
if(TCORE_ODBCINST_LIBRARY)
  foreach(t odbc_test configuration_test)
    if(TARGET ${t})
      target_link_libraries(${t} PRIVATE -Wl,--no-as-needed ${TCORE_ODBCINST_LIBRARY} -Wl,--as-needed)
    endif()
  endforeach()
endif()
