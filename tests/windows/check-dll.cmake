# Checks the DLL's export table and the libraries it needs.
#
#   cmake -D OBJDUMP=... -D DLL=... [-D CLIENT=...] -P check-dll.cmake
#
# - KsUtils_getVersion is exported under its plain name, never decorated;
# - the exported classes and the host hooks are there;
# - the DLL needs system DLLs only (the MinGW runtime is linked in);
# - CLIENT, when given, imports KsUtils_getVersion by its plain name.
cmake_minimum_required(VERSION 3.25)
function(dump file out)
  execute_process(COMMAND ${OBJDUMP} -p ${file} OUTPUT_VARIABLE text RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${file} failed (${rc})")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

dump(${DLL} text)
string(REGEX MATCHALL "\t\\[ *[0-9]+\\] [^\n]+" rows "${text}")
set(exports "")
foreach(row IN LISTS rows)
  string(REGEX REPLACE "^\t\\[ *[0-9]+\\] " "" name "${row}")
  list(APPEND exports "${name}")
endforeach()

set(failures "")
foreach(required
    KsUtils_getVersion
    ktuSetMessageBoxHandler
    _ZN25ktuLibVersionManagerUtils15validateVersionEPc
    _ZN17CKSUtilityClassesC1Ev
    _ZTV11ktuLogUtils)
  if(NOT required IN_LIST exports)
    list(APPEND failures "missing export ${required}")
  endif()
endforeach()
foreach(name IN LISTS exports)
  if(name MATCHES "KsUtils_getVersion.+")
    list(APPEND failures "decorated export ${name}")
  endif()
endforeach()

string(REGEX MATCHALL "DLL Name: [^\n]+" needed "${text}")
foreach(entry IN LISTS needed)
  if(entry MATCHES "(libstdc|libgcc|libwinpthread)")
    list(APPEND failures "the DLL needs a MinGW runtime DLL: ${entry}")
  endif()
endforeach()

if(CLIENT)
  dump(${CLIENT} client)
  if(NOT client MATCHES "DLL Name: KS_TU_UtilityClasses_V4\\.dll")
    list(APPEND failures "the client does not import KS_TU_UtilityClasses_V4.dll")
  elseif(NOT client MATCHES "[0-9]+ +KsUtils_getVersion\n")
    list(APPEND failures "the client does not import KsUtils_getVersion by its plain name")
  endif()
endif()

list(LENGTH exports count)
if(failures)
  list(JOIN failures "\n  " report)
  message(FATAL_ERROR "DLL check failed:\n  ${report}")
endif()
message(STATUS "DLL ok: ${count} exports")
