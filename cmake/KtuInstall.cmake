# Installs the headers, the library, a CMake package and a pkg-config file.
# Everything here finds its neighbours through relative paths (the CMake
# package through its own location, the pkg-config file through
# ${pcfiledir}), so an installed tree can be moved as a whole.
#
# Install components, which become the packages:
#   runtime      the shared library (on Windows the DLL) with its licence
#   development  headers, the link library or import library, the CMake
#                package and the pkg-config file
#   tools        the ktu tool, its manual page and shell completion
include(CMakePackageConfigHelpers)

set(KTU_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/KS_TU_UtilityClasses_V4)

install(TARGETS KS_TU_UtilityClasses_V4
  EXPORT KS_TU_UtilityClasses_V4Targets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)

install(DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/include/
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/KS_TU_UtilityClasses_V4
  COMPONENT development
  FILES_MATCHING PATTERN "*.h")

install(EXPORT KS_TU_UtilityClasses_V4Targets
  NAMESPACE KS_TU_UtilityClasses_V4::
  DESTINATION ${KTU_INSTALL_CMAKEDIR}
  COMPONENT development)

configure_package_config_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/KS_TU_UtilityClasses_V4Config.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/KS_TU_UtilityClasses_V4Config.cmake
  INSTALL_DESTINATION ${KTU_INSTALL_CMAKEDIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/KS_TU_UtilityClasses_V4ConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/KS_TU_UtilityClasses_V4Config.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/KS_TU_UtilityClasses_V4ConfigVersion.cmake
  DESTINATION ${KTU_INSTALL_CMAKEDIR}
  COMPONENT development)

# The pkg-config file finds the prefix from its own folder: as many levels up
# as the library folder's pkgconfig lies below the prefix (lib/pkgconfig, or
# lib/x86_64-linux-gnu/pkgconfig for /usr on Debian).
file(RELATIVE_PATH KTU_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" KTU_PC_TO_PREFIX "${KTU_PC_TO_PREFIX}")
file(RELATIVE_PATH KTU_PC_LIBDIR ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_LIBDIR})
file(RELATIVE_PATH KTU_PC_INCLUDEDIR ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_INCLUDEDIR})
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/KS_TU_UtilityClasses_V4.pc.in
  ${CMAKE_CURRENT_BINARY_DIR}/KS_TU_UtilityClasses_V4.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/KS_TU_UtilityClasses_V4.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT development)
