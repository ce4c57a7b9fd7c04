# The message catalogue: catalogue/ql7orx.po compiled with msgfmt (Debian
# gettext) to ql7orx.mo at the top of the build tree, where the library looks
# for it last, and installed to the data directory, where it looks before.
find_program(TCORE_MSGFMT msgfmt)
if(NOT TCORE_MSGFMT)
  message(FATAL_ERROR "msgfmt not found: install the Debian package gettext")
endif()

set(TCORE_CATALOGUE_PO ${CMAKE_CURRENT_SOURCE_DIR}/catalogue/ql7orx.po)
set(TCORE_CATALOGUE_MO ${CMAKE_CURRENT_BINARY_DIR}/ql7orx.mo)
add_custom_command(OUTPUT ${TCORE_CATALOGUE_MO}
  COMMAND ${TCORE_MSGFMT} --check -o ${TCORE_CATALOGUE_MO} ${TCORE_CATALOGUE_PO}
  DEPENDS ${TCORE_CATALOGUE_PO}
  COMMENT "Compiling the message catalogue ql7orx.mo"
  VERBATIM)
add_custom_target(tcore_catalogue ALL DEPENDS ${TCORE_CATALOGUE_MO})
# Whatever links the library finds the catalogue built.
add_dependencies(tcore tcore_catalogue)
install(FILES ${TCORE_CATALOGUE_MO} DESTINATION ${CMAKE_INSTALL_DATADIR}/tcore COMPONENT runtime)
