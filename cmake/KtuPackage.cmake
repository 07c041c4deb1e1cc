# Packages made with CPack from the install components (see KtuInstall.cmake):
#
#   Linux    three Debian packages:
#              libks-tu-utilityclasses-v4-4    the shared library (its SONAME)
#              libks-tu-utilityclasses-v4-dev  headers, CMake package, pkg-config
#              ktu                             the tool, manual page, completion
#            their dependencies on system libraries come from dpkg-shlibdeps.
#   Windows  one ZIP archive per width with everything in it: the DLL, the
#            import library, the headers, ktu.exe, the licence and a README.
#
#   cmake --build build/default --target package    (or: cd build/default && cpack)
set(KTU_PACKAGE_DIR ${CMAKE_CURRENT_SOURCE_DIR}/cmake/package)
set(KTU_MAINTAINER "KS_TU maintainers <ktu-maintainers@lists.example.org>")

# Debian package names of the components.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libks-tu-utilityclasses-v4-4)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libks-tu-utilityclasses-v4-dev)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ktu)

if(WIN32)
  install(FILES ${KTU_PACKAGE_DIR}/LICENSE.txt DESTINATION . COMPONENT runtime)
  install(FILES ${KTU_PACKAGE_DIR}/README-windows.txt DESTINATION . RENAME README.txt COMPONENT runtime)
else()
  # Every Debian package carries its copyright file and its changelog
  # (compressed, without a time stamp in the archive) in its own folder.
  configure_file(${KTU_PACKAGE_DIR}/changelog.Debian.in ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian @ONLY)
  find_program(KTU_GZIP gzip REQUIRED)
  execute_process(COMMAND ${KTU_GZIP} -9nc ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian
                  OUTPUT_FILE ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz)
  foreach(component runtime development tools)
    string(TOUPPER ${component} upper)
    set(docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
    install(FILES ${KTU_PACKAGE_DIR}/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz
            DESTINATION ${docdir} COMPONENT ${component})
    install(FILES ${KTU_PACKAGE_DIR}/lintian-overrides-${component} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
            RENAME ${CPACK_DEBIAN_${upper}_PACKAGE_NAME} COMPONENT ${component})
  endforeach()
endif()

set(CPACK_PACKAGE_NAME KS_TU_UtilityClasses_V4)
set(CPACK_PACKAGE_VENDOR "KS_TU_UtilityClasses_V4 developers")
set(CPACK_PACKAGE_CONTACT "${KTU_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${KTU_PACKAGE_DIR}/LICENSE.txt)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR}/packages)
set(CPACK_COMPONENTS_ALL runtime development tools)

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(KTU_PACKAGE_WIDTH x86)
  else()
    set(KTU_PACKAGE_WIDTH x64)
  endif()
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Utility classes for the applications of a video-analytics framework")
  set(CPACK_GENERATOR ZIP)
  # Release builds, stripped: the runtime that is linked in statically
  # brings debug information of its own.
  set(CPACK_STRIP_FILES ON)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
  set(CPACK_PACKAGE_FILE_NAME KS_TU_UtilityClasses_V4-${PROJECT_VERSION}-windows-${KTU_PACKAGE_WIDTH})
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  # Package version 4.02-1: the library's version and the first Debian
  # revision of it (a revision makes changelog.Debian.gz the right name).
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KTU_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SOURCE ks-tu-utilityclasses-v4)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # ktu needs the library of the runtime package, which is not installed on
  # the build machine: dpkg-shlibdeps finds it in the build tree, and the
  # dependency on it comes from the component dependency below.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
  set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
  set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS runtime)
  set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)
  # Stripped programs and library; their debug information goes to
  # -dbgsym packages (.ddeb) beside them (CPack strips while it takes the
  # debug information out, so the files must reach it unstripped).
  set(CPACK_STRIP_FILES OFF)
  set(CPACK_DEBIAN_RUNTIME_DEBUGINFO_PACKAGE ON)
  set(CPACK_DEBIAN_TOOLS_DEBUGINFO_PACKAGE ON)

  # One synopsis per package: the first line of each description (CPack
  # would put a CPACK_PACKAGE_DESCRIPTION_SUMMARY before all three).
  set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "utility classes for video-analytics applications
The shared library libKS_TU_UtilityClasses_V4.so.4: paths, files and folders,
INI files and registry settings, a log writer, processes, time stamps, BMP
files and rasters, a digital zoom for video frames, framed socket messages and
a serial port.")
  # A shlibs file lets packages built against this one depend on it; the
  # triggers file runs ldconfig when the library is installed or removed.
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/debian-runtime/triggers "activate-noawait ldconfig\n")
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/debian-runtime/triggers)
  set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_SOURCE_DIR}/cmake/KtuDebRepack.cmake)

  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "development files of KS_TU_UtilityClasses_V4
Headers, the CMake package (find_package(KS_TU_UtilityClasses_V4)) and the
pkg-config file of the KS_TU_UtilityClasses_V4 library.")

  set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_TOOLS_DESCRIPTION "command-line tool of KS_TU_UtilityClasses_V4
ktu runs the library's operations from the shell: paths and folders, log
lines, BMP files, framed messages, settings and processes.")
endif()

include(CPack)
