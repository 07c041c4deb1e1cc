# Installs the build into a fresh folder and uses it as an application would:
# the DLL, the import library and the headers must be there, a C++
# application and a C stdcall caller must build against them, and, when an
# emulator is given, the C++ application must run beside the installed DLL.
#
#   cmake -D BUILD=... -D WORK=... -D CXX=... -D CC=... -D SOURCES=... [-D EMULATOR=...] -P check-install.cmake
cmake_minimum_required(VERSION 3.25)
set(prefix ${WORK}/prefix)
file(REMOVE_RECURSE ${WORK})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "failed (${rc}): ${command}\n${out}${err}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix})
foreach(file
    bin/KS_TU_UtilityClasses_V4.dll
    lib/KS_TU_UtilityClasses_V4.lib
    include/KS_TU_UtilityClasses_V4/KSUtilityClasses.h
    include/KS_TU_UtilityClasses_V4/CKSUtilityClasses.h)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

set(include ${prefix}/include/KS_TU_UtilityClasses_V4)
set(implib ${prefix}/lib/KS_TU_UtilityClasses_V4.lib)
run(${CXX} -std=c++17 -Wall -Werror -I${include} ${SOURCES}/consumer/main.cpp ${implib} -static -o ${WORK}/consumer.exe)
run(${CC} -Wall -Werror ${SOURCES}/windows/stdcall_client.c ${implib} -o ${WORK}/stdcall_client.exe)

if(EMULATOR)
  file(COPY ${prefix}/bin/KS_TU_UtilityClasses_V4.dll DESTINATION ${WORK})
  run(${EMULATOR} ${WORK}/consumer.exe)
  if(NOT run_output MATCHES "^4\\.02 accepted")
    message(FATAL_ERROR "the installed library answered: ${run_output}")
  endif()
endif()
message(STATUS "install ok")
