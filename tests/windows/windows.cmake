# Checks of the Windows build's artefacts: the DLL's exports, a 32-bit style
# stdcall caller, header layouts and the installed package.
set(KTU_WIN_DIR ${CMAKE_CURRENT_SOURCE_DIR}/windows)
if(NOT CMAKE_OBJDUMP)
  find_program(CMAKE_OBJDUMP NAMES ${KTU_MINGW_TRIPLE}-objdump objdump REQUIRED)
endif()

# Built, never run: the compiler checks the layouts.
add_library(ktu_abi_layout OBJECT ${KTU_WIN_DIR}/abi_layout.cpp)
target_link_libraries(ktu_abi_layout PRIVATE KS_TU_UtilityClasses_V4)

# Linking it is the check that the import library serves stdcall callers;
# where programs can run, it also calls into the DLL.
add_executable(ktu_stdcall_client ${KTU_WIN_DIR}/stdcall_client.c)
target_link_libraries(ktu_stdcall_client PRIVATE KS_TU_UtilityClasses_V4)

add_test(NAME dll-exports
  COMMAND ${CMAKE_COMMAND} -D OBJDUMP=${CMAKE_OBJDUMP} -D DLL=$<TARGET_FILE:KS_TU_UtilityClasses_V4>
          -D CLIENT=$<TARGET_FILE:ktu_stdcall_client> -P ${KTU_WIN_DIR}/check-dll.cmake)

if(KTU_TESTS_CAN_RUN)
  add_test(NAME dll-stdcall-client COMMAND ktu_stdcall_client)
endif()

add_test(NAME install-consumer
  COMMAND ${CMAKE_COMMAND} -D BUILD=${CMAKE_BINARY_DIR} -D WORK=${CMAKE_CURRENT_BINARY_DIR}/install-check
          -D CXX=${CMAKE_CXX_COMPILER} -D CC=${CMAKE_C_COMPILER} -D SOURCES=${CMAKE_CURRENT_SOURCE_DIR}
          -D EMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR} -P ${KTU_WIN_DIR}/check-install.cmake)
set_tests_properties(install-consumer PROPERTIES TIMEOUT 300)
