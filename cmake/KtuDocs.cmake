# The API reference: HTML made by Doxygen from the public headers.
#
#   cmake --build --preset default --target ktu_docs   -> build/default/docs/html/index.html
#
# A warning fails the build, so an undocumented class or member cannot slip in.
find_package(Doxygen QUIET)
if(NOT DOXYGEN_EXECUTABLE)
  return()
endif()

set(KTU_DOCS_INPUT ${CMAKE_CURRENT_SOURCE_DIR}/include)
set(KTU_DOCS_MAINPAGE ${CMAKE_CURRENT_SOURCE_DIR}/docs/api-mainpage.md)
set(KTU_DOCS_OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/docs)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/docs/Doxyfile.in ${CMAKE_CURRENT_BINARY_DIR}/Doxyfile @ONLY)
file(GLOB KTU_PUBLIC_HEADERS CONFIGURE_DEPENDS ${KTU_DOCS_INPUT}/*.h)
add_custom_command(OUTPUT ${KTU_DOCS_OUTPUT}/html/index.html
  COMMAND ${CMAKE_COMMAND} -E remove_directory ${KTU_DOCS_OUTPUT}
  COMMAND ${DOXYGEN_EXECUTABLE} ${CMAKE_CURRENT_BINARY_DIR}/Doxyfile
  DEPENDS ${KTU_PUBLIC_HEADERS} ${KTU_DOCS_MAINPAGE} ${CMAKE_CURRENT_BINARY_DIR}/Doxyfile
  COMMENT "Making the API reference"
  VERBATIM)
add_custom_target(ktu_docs DEPENDS ${KTU_DOCS_OUTPUT}/html/index.html)
