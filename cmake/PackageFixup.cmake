# Run by CPack on the staged files before it builds the packages: programs
# keep no RPATH, because the packaged library is where the system looks, and
# binaries lose the compiler's .comment section, as Debian's own do.
file(GLOB programs LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*/usr/bin/*")
file(GLOB libraries LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*/usr/lib/*/libtcore.so.*.*")
foreach(program ${programs})
  file(RPATH_REMOVE FILE "${program}")
endforeach()
find_program(TCORE_OBJCOPY objcopy)
if(NOT TCORE_OBJCOPY)
  message(FATAL_ERROR "objcopy not found: install the Debian package binutils")
endif()
foreach(binary ${programs} ${libraries})
  execute_process(COMMAND ${TCORE_OBJCOPY} --remove-section=.comment "${binary}" RESULT_VARIABLE rv)
  if(NOT rv EQUAL 0)
    message(FATAL_ERROR "objcopy --remove-section=.comment ${binary} failed")
  endif()
endforeach()
