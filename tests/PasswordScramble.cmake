# Scrambling once more in a UTF-8 locale, where non-ASCII passwords round-trip.
add_test(NAME PasswordScramble_test_utf8 COMMAND PasswordScramble_test)
set_tests_properties(PasswordScramble_test_utf8 PROPERTIES TIMEOUT 600 ENVIRONMENT "LC_ALL=C.UTF-8")
