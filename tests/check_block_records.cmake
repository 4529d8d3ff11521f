# The block records' reader refuses what it cannot read, naming the file,
# the line and what is wrong: each case below is a records file of its own.
#   cmake -DSOURCE_DIR=<project> -DWORK=<folder> -P check_block_records.cmake
# Run with -DRECORDS=<file> it only reads that file.
cmake_minimum_required(VERSION 3.25)
include(${SOURCE_DIR}/cmake/BlockManifest.cmake)
if(DEFINED RECORDS)
  parse_block_records(${RECORDS})
  message(STATUS "blocks ${BLOCKS}")
  return()
endif()

set(block "b | block 2 | a block\n")
set(cases
  "no bar|b block 2\n|has no"
  "two blocks named alike|${block}${block}|block b has a record already"
  "an item before its block|b.u | input 0 | 1 | u | 0\n|comes before the line of block b"
  "another block's item|${block}c | block 2 | c\nb.u | input 0 | 1 | u | 0\n|is not of block c, whose record this is"
  "a port skipped|${block}b.u | input 1 | 1 | u | 0\n|the inputs are listed in port order from port 0"
  "ports out of order|${block}b.u | output 0 | 1 | u\nb.v | output 2 | 1 | v\n|the outputs are listed in port order"
  "an input without its example|${block}b.u | input 0 | 1 | u\n|is none of"
  "a parameter without a default|${block}b.k | parameter | 1 | gain\n|is none of"
  "an item twice|${block}b.u | input 0 | 1 | u | 0\nb.u | output 0 | 1 | u\n|b has an item 'u' already"
  "a semicolon in a field|${block}b.u | input 0 | 1 | u<semicolon> v | 0\n|cannot stand in a field"
)
set(failures "")
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" parts "${case}")
  # The parts are split at every '|': the name, then the text up to the last part, the expected message.
  list(POP_FRONT parts name)
  list(POP_BACK parts expected)
  list(JOIN parts "|" text)
  string(ASCII 59 semicolon)
  string(REPLACE "<semicolon>" "${semicolon}" text "${text}")
  set(file "${WORK}/${name}.records")
  file(WRITE "${file}" "${text}")
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${SOURCE_DIR} -DRECORDS=${file} -P ${CMAKE_CURRENT_LIST_FILE}
                  RESULT_VARIABLE status ERROR_VARIABLE error OUTPUT_QUIET)
  string(REGEX REPLACE "[ \n]+" " " error "${error}")
  if(status EQUAL 0)
    string(APPEND failures "\n  ${name}: read without an error")
  elseif(NOT error MATCHES "${file}:[0-9]+" OR NOT error MATCHES "${expected}")
    string(APPEND failures "\n  ${name}: the error does not name the line and '${expected}': ${error}")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "the block records' reader:${failures}")
endif()
list(LENGTH cases count)
message(STATUS "${count} broken records files refused, each with its line and reason")
