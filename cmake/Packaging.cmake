# Debian packages built with CPack (./tcore package, or cpack in the build
# tree), into build/packages/:
#   libtcore<SOVERSION>  the library and its message catalogue
#   libtcore-dev         headers, the CMake package, the pkg-config file
#   tcore-tools          the operator programs, the agent, the logger and the
#                        agent daemon, their manual pages, the systemd units
#                        and their settings in /etc/tcore/tcore.conf
# The packages follow Debian's layout, so the tree is configured with
# CMAKE_INSTALL_PREFIX=/usr; a sanitizer build is never packaged.
if(NOT TCORE_SANITIZE STREQUAL "" OR NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  return()
endif()

set(TCORE_PACKAGE_MAINTAINER "tcore developers <tcore-dev@example.org>"
    CACHE STRING "Maintainer field of the Debian packages")
set(TCORE_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(TCORE_RUNTIME_PACKAGE libtcore${PROJECT_VERSION_MAJOR})
set(TCORE_DEV_PACKAGE libtcore-dev)
set(TCORE_TOOLS_PACKAGE tcore-tools)
set(TCORE_DEB_RELEASE 1)
set(TCORE_DEB_VERSION ${PROJECT_VERSION}-${TCORE_DEB_RELEASE})

# The programs that are packaged: every tool but the demos' kernels.
file(GLOB tool_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/tcore-*.cpp)
set(TCORE_PACKAGED_PROGRAMS)
foreach(src ${tool_sources})
  get_filename_component(name ${src} NAME_WE)
  if(TARGET ${name} AND NOT name STREQUAL "tcore-demo" AND NOT name STREQUAL "tcore-hostdemo")
    list(APPEND TCORE_PACKAGED_PROGRAMS ${name})
  endif()
endforeach()

# The hardening Debian builds its packages with (dpkg-buildflags).
foreach(target tcore tcore_tool_support ${TCORE_PACKAGED_PROGRAMS})
  if(TARGET ${target})
    target_compile_options(${target} PRIVATE -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2 -fstack-protector-strong)
    get_target_property(type ${target} TYPE)
    if(NOT type STREQUAL "STATIC_LIBRARY")
      target_link_options(${target} PRIVATE -Wl,-z,relro -Wl,-z,now)
    endif()
  endif()
endforeach()

# Manual pages, from each program's --help and, for the services, a few
# sections of their own.
set(man_summary_tcore-agent "agent of the data-warehouse control system: serves the kernel's requests")
set(man_summary_tcore-config "read and change the configuration store")
set(man_summary_tcore-daemon "agent daemon: starts agents on request under the users they name")
set(man_summary_tcore-listen "print every message that arrives at a message queue")
set(man_summary_tcore-logger "logger of the data-warehouse control system")
set(man_summary_tcore-msg "print the catalogue text of a return code")
set(man_summary_tcore-ping "ping a message queue")
set(man_summary_tcore-scramble "scramble a password for the configuration store, and back")
set(man_summary_tcore-send "build a message and send it to a message queue")
set(man_dir ${CMAKE_BINARY_DIR}/man)
set(man_pages)
list(JOIN TCORE_PACKAGED_PROGRAMS "," see_also)
foreach(name ${TCORE_PACKAGED_PROGRAMS})
  set(summary "${man_summary_${name}}")
  if(summary STREQUAL "")
    set(summary "program of the tcore data-warehouse control system")
  endif()
  set(extra ${TCORE_PACKAGING_DIR}/man/${name}.roff)
  set(page ${man_dir}/${name}.1.gz)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${man_dir}
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${name}> -DNAME=${name} -DSUMMARY=${summary}
            -DVERSION=${PROJECT_VERSION} -DEXTRA=${extra} -DSEE_ALSO=${see_also} -DOUTPUT=${page}
            -P ${CMAKE_SOURCE_DIR}/cmake/ManPage.cmake
    DEPENDS ${name} ${CMAKE_SOURCE_DIR}/cmake/ManPage.cmake
    COMMENT "Manual page of ${name}"
    VERBATIM)
  list(APPEND man_pages ${page})
endforeach()
add_custom_target(tcore_man_pages ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)

# Files that belong to the packages only (EXCLUDE_FROM_ALL keeps them out of
# a plain cmake --install): the services and their settings, the maintainer
# scripts, and the copyright and changelog every Debian package carries.
set(TCORE_UNITS tcore-logger.service)
if(TARGET tcore-daemon)
  list(APPEND TCORE_UNITS tcore-daemon.service)
endif()
foreach(unit ${TCORE_UNITS})
  install(FILES ${TCORE_PACKAGING_DIR}/${unit} DESTINATION /lib/systemd/system COMPONENT tools EXCLUDE_FROM_ALL)
endforeach()
install(FILES ${TCORE_PACKAGING_DIR}/tcore.conf DESTINATION /etc/tcore COMPONENT tools EXCLUDE_FROM_ALL)

set(control_dir ${CMAKE_BINARY_DIR}/packaging)
list(JOIN TCORE_UNITS " " TCORE_UNITS)
foreach(script postinst prerm postrm)
  configure_file(${TCORE_PACKAGING_DIR}/${script}.in ${control_dir}/${script} @ONLY)
endforeach()
file(WRITE ${control_dir}/conffiles "/etc/tcore/tcore.conf\n")

string(TIMESTAMP TCORE_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${TCORE_PACKAGING_DIR}/changelog.in ${control_dir}/changelog.Debian @ONLY)
add_custom_command(OUTPUT ${control_dir}/changelog.Debian.gz
  COMMAND gzip -9nkf ${control_dir}/changelog.Debian
  DEPENDS ${control_dir}/changelog.Debian
  VERBATIM)
add_custom_target(tcore_package_changelog ALL DEPENDS ${control_dir}/changelog.Debian.gz)
foreach(component runtime dev tools)
  string(TOUPPER ${component} upper)
  set(package ${TCORE_${upper}_PACKAGE})
  install(FILES ${TCORE_PACKAGING_DIR}/copyright ${control_dir}/changelog.Debian.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

# CPack.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tcore)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The units and the settings go to absolute places: staged under DESTDIR.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${TCORE_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TCORE_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# dpkg-shlibdeps finds the real packages of what the binaries link (unixODBC,
# the C and C++ runtimes); the library itself is found in the build tree and
# named by the component dependencies below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR})
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# Installed programs find the library where the system keeps libraries: the
# install tree's RPATH is removed from the staged files.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/PackageFixup.cmake)

set(about "tcore is the common runtime of a data-warehouse control system. Four kinds of
programs link it: the central server (the kernel), agents that read, move and
load data on its behalf, a logger, and an agent daemon that starts agents. It
gives them typed messages sent over TCP to each other's message queues, client
polling, ODBC database access, a configuration store kept in a database table,
operating-system services, return codes that carry their context across
hosts, a message catalogue, tracing, timestamps and password scrambling.")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${TCORE_RUNTIME_PACKAGE})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# A shlibs file, so that programs built against the library depend on it.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The linker cache is refreshed through dpkg's ldconfig trigger. CPack would
# also write a postinst and a postrm that call ldconfig unless scripts of
# those names are given; naming files that do not exist keeps it from
# writing them, and ships none.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${TCORE_PACKAGING_DIR}/runtime/triggers
  ${TCORE_PACKAGING_DIR}/runtime/no-script/postinst ${TCORE_PACKAGING_DIR}/runtime/no-script/postrm)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "common runtime of a data-warehouse control system
${about}

This package holds the shared library and its message catalogue.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME ${TCORE_DEV_PACKAGE})
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# find_package(tcore) and pkg-config --libs tcore ask for unixODBC's.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "unixodbc-dev")
set(CPACK_DEBIAN_DEV_DESCRIPTION "common runtime of a data-warehouse control system - development files
${about}

This package holds the headers, the CMake package (find_package(tcore) gives
tcore::tcore) and the pkg-config file tcore.pc.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ${TCORE_TOOLS_PACKAGE})
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_TOOLS_PACKAGE_CONTROL_EXTRA
  ${control_dir}/postinst ${control_dir}/prerm ${control_dir}/postrm ${control_dir}/conffiles)
if(TARGET tcore-daemon)
  set(services "agent, the logger and the agent daemon, their manual pages, and systemd
units for the logger and the daemon,")
else()
  set(services "agent and the logger, their manual pages, and a systemd unit for the
logger,")
endif()
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "programs and services of a data-warehouse control system
${about}

This package holds the operator programs (send, listen and ping message
queues, the configuration store, return-code texts, password scrambling), the
${services}
with their settings in /etc/tcore/tcore.conf.")

include(CPack)
cpack_add_component(runtime DISPLAY_NAME "tcore library")
cpack_add_component(dev DISPLAY_NAME "tcore development files" DEPENDS runtime)
cpack_add_component(tools DISPLAY_NAME "tcore programs" DEPENDS runtime)
