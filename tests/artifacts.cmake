# Checks of the built artefacts: the shared library's export list and the
# installed package as an application would use it.
if(NOT CMAKE_CROSSCOMPILING AND NOT WIN32)
  add_test(NAME exports
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/scripts/check-exports.sh $<TARGET_FILE:KS_TU_UtilityClasses_V4>)

  # An application built without the sanitizers cannot load the sanitized
  # library, so the installed package is checked in the plain builds only.
  if(NOT KTU_SANITIZE)
    add_test(NAME install-consumer
      COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/scripts/check-install.sh
              ${CMAKE_BINARY_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/consumer ${CMAKE_COMMAND} ${CMAKE_CXX_COMPILER})
    set_tests_properties(install-consumer PROPERTIES TIMEOUT 300)
  endif()

  # The ktu tool on its table of cases (paths, refusals, exit codes, loopback
  # frames, a serial line over a pseudo-terminal), in a sandbox of its own.
  if(TARGET ktu)
    add_test(NAME ktu-cli COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/scripts/check-ktu.sh $<TARGET_FILE:ktu>)
    set_tests_properties(ktu-cli PROPERTIES TIMEOUT 300)
  endif()
endif()

# The Windows build's own checks.
if(WIN32)
  include(${CMAKE_CURRENT_SOURCE_DIR}/windows/windows.cmake)
endif()
