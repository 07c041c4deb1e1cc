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

  add_test(NAME ktu-cli COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/scripts/check-ktu.sh $<TARGET_FILE:ktu>)
  # ktu frame send/listen round trip on loopback, ktu serial over a pseudo-terminal.
  add_test(NAME ktu-frame COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/scripts/check-ktu-frame.sh $<TARGET_FILE:ktu>)
  set_tests_properties(ktu-frame PROPERTIES TIMEOUT 120)
  add_test(NAME ktu-path COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/scripts/check-ktu-path.sh $<TARGET_FILE:ktu>)
  # ktu bmp: make, measure, crop, resize, zoom and dump a picture.
  add_test(NAME ktu-bmp COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/scripts/check-ktu-bmp.sh $<TARGET_FILE:ktu>)
endif()

# The Windows build's own checks.
if(WIN32)
  include(${CMAKE_CURRENT_SOURCE_DIR}/windows/windows.cmake)
endif()
