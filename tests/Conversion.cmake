# The conversion tests run once more in each locale family: UTF-8, and
# Latin-1 from a locale compiled into the build tree (skipped when localedef
# cannot make it here).
set(TCORE_LOCALE_DIR ${CMAKE_BINARY_DIR}/test-locales)
add_test(NAME Conversion_test_utf8 COMMAND Conversion_test)
set_tests_properties(Conversion_test_utf8 PROPERTIES TIMEOUT 600
  ENVIRONMENT "LC_ALL=C.UTF-8;TCORE_EXPECT_CODESET=UTF-8")
add_test(NAME Conversion_test_ascii COMMAND Conversion_test)
set_tests_properties(Conversion_test_ascii PROPERTIES TIMEOUT 600
  ENVIRONMENT "LC_ALL=C;TCORE_EXPECT_CODESET=ANSI_X3.4-1968")

add_test(NAME Conversion_latin1_locale
  COMMAND sh -c "mkdir -p '${TCORE_LOCALE_DIR}' && localedef -i en_US -f ISO-8859-1 '${TCORE_LOCALE_DIR}/en_US.ISO-8859-1' || echo 'Latin-1 locale could not be made; its run will skip'")
set_tests_properties(Conversion_latin1_locale PROPERTIES FIXTURES_SETUP latin1_locale)
add_test(NAME Conversion_test_latin1 COMMAND Conversion_test)
set_tests_properties(Conversion_test_latin1 PROPERTIES TIMEOUT 600 FIXTURES_REQUIRED latin1_locale
  ENVIRONMENT "LOCPATH=${TCORE_LOCALE_DIR};LC_ALL=en_US.ISO-8859-1;TCORE_EXPECT_CODESET=ISO-8859-1")

# The same in UTF-8 without AVX2: the baseline vector code and the scalar code.
add_test(NAME Conversion_test_utf8_baseline COMMAND Conversion_test)
set_tests_properties(Conversion_test_utf8_baseline PROPERTIES TIMEOUT 600
  ENVIRONMENT "LC_ALL=C.UTF-8;TCORE_EXPECT_CODESET=UTF-8;TCORE_CONV_NO_AVX2=1")
