# The Windows form of the shared library: KS_TU_UtilityClasses_V4.dll with its
# import library KS_TU_UtilityClasses_V4.lib (no "lib" prefix on either).
#
# On 32-bit Windows KsUtils_getVersion is a stdcall function, which the
# compiler decorates as _KsUtils_getVersion@4. The DLL exports it under its
# plain name (a .def file and --kill-at), and the import library is rebuilt by
# dlltool -k from the DLL's full export list so that callers that declare the
# function stdcall (and so look for _KsUtils_getVersion@4) are bound to that
# plain export.
if(NOT WIN32)
  return()
endif()

set(KTU_DLL KS_TU_UtilityClasses_V4)

set_target_properties(${KTU_DLL} PROPERTIES
  PREFIX "" IMPORT_PREFIX "" IMPORT_SUFFIX ".lib")
target_sources(${KTU_DLL} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/platform/win32/dllmain.cpp)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(KTU_DLL_DEF ${CMAKE_CURRENT_SOURCE_DIR}/cmake/KS_TU_UtilityClasses_V4.x86.def)
  target_sources(${KTU_DLL} PRIVATE ${KTU_DLL_DEF})
  set_property(TARGET ${KTU_DLL} APPEND PROPERTY LINK_DEPENDS ${KTU_DLL_DEF})
endif()

# Visual C++ takes the .def file as it is (its linker exports the plain name
# and binds stdcall callers to it); MinGW needs --kill-at and a rebuilt
# import library.
if(MINGW AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  if(NOT CMAKE_DLLTOOL)
    find_program(CMAKE_DLLTOOL NAMES ${KTU_MINGW_TRIPLE}-dlltool dlltool REQUIRED)
  endif()
  set(KTU_DLL_EXPORTS_DEF ${CMAKE_CURRENT_BINARY_DIR}/KS_TU_UtilityClasses_V4.exports.def)
  target_link_options(${KTU_DLL} PRIVATE -Wl,--kill-at -Wl,--output-def,${KTU_DLL_EXPORTS_DEF})
  add_custom_command(TARGET ${KTU_DLL} POST_BUILD
    COMMAND ${CMAKE_COMMAND}
            -D DLLTOOL=${CMAKE_DLLTOOL}
            -D EXPORTS_DEF=${KTU_DLL_EXPORTS_DEF}
            -D DLL_NAME=$<TARGET_FILE_NAME:${KTU_DLL}>
            -D IMPORT_LIB=$<TARGET_LINKER_FILE:${KTU_DLL}>
            -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/KtuStdcallImportLib.cmake
    COMMENT "Making the stdcall import library of ${KTU_DLL}"
    VERBATIM)
endif()

# The linker's warnings (stdcall fix-ups and the like) count as errors where
# compiler warnings do.
if(MINGW AND CMAKE_COMPILE_WARNING_AS_ERROR)
  target_link_options(${KTU_DLL} PRIVATE -Wl,--fatal-warnings)
endif()
