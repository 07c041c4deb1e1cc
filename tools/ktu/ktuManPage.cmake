# Makes the help2man include file of the ktu manual page: the fixed sections
# of ktu.h2m, then one COMMANDS subsection per command from the tool's own
# help, so the page cannot drift from the code.
#
#   cmake -D KTU=... -D FIXED=ktu.h2m -D OUT=... -P ktuManPage.cmake
execute_process(COMMAND ${KTU} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "ktu --help failed")
endif()
string(REGEX MATCHALL "\n  ktu [a-z0-9-]+" lines "${help}")
set(names)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "\n  ktu " "" name "${line}")
  list(APPEND names ${name})
endforeach()
list(REMOVE_DUPLICATES names)

file(READ ${FIXED} text)
string(APPEND text "[COMMANDS]\n")
foreach(name IN LISTS names)
  execute_process(COMMAND ${KTU} help ${name} OUTPUT_VARIABLE page)
  string(REPLACE "\\" "\\e" page "${page}")
  string(REPLACE "-" "\\-" page "${page}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" page "${page}")
  string(REGEX REPLACE "\n\n" "\n.fi\n" page "${page}")
  string(APPEND text ".SS \"ktu ${name}\"\n.nf\n${page}")
endforeach()
file(WRITE ${OUT} "${text}")
