# Rebuilds the import library of the 32-bit DLL with dlltool -k.
#
# The linker's --output-def lists a --kill-at export as "Name = Name@4"; the
# list given to dlltool names it "Name@4", so that the import library offers
# the decorated symbol _Name@4 while -k binds it to the plain export "Name".
#
#   cmake -D DLLTOOL=... -D EXPORTS_DEF=... -D DLL_NAME=... -D IMPORT_LIB=... -P KtuStdcallImportLib.cmake
cmake_minimum_required(VERSION 3.25)
foreach(var DLLTOOL EXPORTS_DEF DLL_NAME IMPORT_LIB)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "KtuStdcallImportLib: ${var} is not set")
  endif()
endforeach()

file(STRINGS ${EXPORTS_DEF} lines)
set(out "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^([ \t]*)([A-Za-z_][A-Za-z0-9_]*) = ([A-Za-z_][A-Za-z0-9_]*@[0-9]+)" "\\1\\3" line "${line}")
  string(APPEND out "${line}\n")
endforeach()
set(importDef ${EXPORTS_DEF}.import)
file(WRITE ${importDef} "${out}")

execute_process(
  COMMAND ${DLLTOOL} -k -d ${importDef} -D ${DLL_NAME} -l ${IMPORT_LIB}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "dlltool failed (${rc}) making ${IMPORT_LIB}")
endif()
