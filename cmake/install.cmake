# Installation: the library, its headers (under include/tcore/<folder>/), a
# CMake package (find_package(tcore) gives tcore::tcore) and a pkg-config file.
# Components follow the Debian packages: runtime (the library and its
# catalogue), dev (everything a program needs to build against it).
include(CMakePackageConfigHelpers)

install(TARGETS tcore EXPORT tcoreTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)

foreach(dir ${TCORE_DIRS})
  install(DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tcore/${dir} COMPONENT dev
    FILES_MATCHING PATTERN "*.h")
endforeach()

install(EXPORT tcoreTargets NAMESPACE tcore:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tcore COMPONENT dev)
configure_package_config_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/tcoreConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/tcoreConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tcore)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/tcoreConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tcoreConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/tcoreConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tcore COMPONENT dev)

# The pkg-config file finds the prefix from its own place, so an installed
# tree can be moved.
file(RELATIVE_PATH TCORE_PC_TO_PREFIX "/p/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/p")
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/tcore.pc.in ${CMAKE_CURRENT_BINARY_DIR}/tcore.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tcore.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
