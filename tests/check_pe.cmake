# Fails unless the Windows library LIBRARY is what the host loads: a FORMAT
# file (PE32 for .mexw32, PE32+ for .mexw64) whose one export is
# mexFunction, importing only the host's libmx.dll and libmex.dll,
# KERNEL32.dll and the C runtime msvcrt.dll.
#   cmake -DLIBRARY=<dll> -DOBJDUMP=<objdump> -DFORMAT=PE32+ -P check_pe.cmake
cmake_minimum_required(VERSION 3.25)
find_program(FILE_COMMAND file REQUIRED)
execute_process(COMMAND ${FILE_COMMAND} -b ${LIBRARY} OUTPUT_VARIABLE kind RESULT_VARIABLE status)
string(FIND "${kind}" "${FORMAT} executable (DLL)" at)
if(NOT status EQUAL 0 OR NOT at EQUAL 0)
  string(STRIP "${kind}" kind)
  message(FATAL_ERROR "${LIBRARY} is '${kind}', not a ${FORMAT} DLL")
endif()
execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE headers RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p failed on ${LIBRARY}")
endif()

# Exports: the rows "[   0] mexFunction" of the name pointer table.
set(exports "")
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([ \t]+\\[[^\n]*\n)*)" table "${headers}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" rows "${CMAKE_MATCH_1}")
foreach(row IN LISTS rows)
  string(REGEX REPLACE "^\\[ *[0-9]+\\] " "" name "${row}")
  list(APPEND exports ${name})
endforeach()
if(NOT exports STREQUAL "mexFunction")
  message(FATAL_ERROR "${LIBRARY} exports [${exports}], expected [mexFunction]")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imported "${headers}")
list(TRANSFORM imported REPLACE "^DLL Name: " "")
set(allowed libmx.dll libmex.dll KERNEL32.dll msvcrt.dll)
set(others ${imported})
list(REMOVE_ITEM others ${allowed})
if(others)
  message(FATAL_ERROR "${LIBRARY} imports [${others}]; a block may import only [${allowed}]")
endif()
message(STATUS "${LIBRARY}: ${FORMAT}, exports only mexFunction, imports [${imported}]")
