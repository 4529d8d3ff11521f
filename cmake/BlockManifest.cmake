# sfun/blocks.manifest: one line per block, "name level parameters core-sources...".
#
# parse_block_manifest(FILE) sets BLOCKS (the names, in order) and, for each
# block NAME, BLOCK_LEVEL_NAME, BLOCK_PARAMETERS_NAME, BLOCK_CORE_NAME (its
# core/ source file names) and BLOCK_PROPERTIES_NAME (its words with '=',
# such as outputs=lagged). It runs in script mode too.
function(parse_block_manifest manifest)
  file(STRINGS ${manifest} lines REGEX "^[ \t]*[^# \t]")
  set(names "")
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    string(REGEX REPLACE "[ \t]+" ";" words "${line}")
    list(LENGTH words count)
    if(count LESS 3)
      message(FATAL_ERROR "${manifest}: '${line}' needs a name, a level and a parameter count")
    endif()
    list(POP_FRONT words name level parameters)
    list(APPEND names ${name})
    set(BLOCK_LEVEL_${name} ${level} PARENT_SCOPE)
    set(BLOCK_PARAMETERS_${name} ${parameters} PARENT_SCOPE)
    set(properties ${words})
    list(FILTER words EXCLUDE REGEX "=")
    list(FILTER properties INCLUDE REGEX "=")
    set(BLOCK_CORE_${name} ${words} PARENT_SCOPE)
    set(BLOCK_PROPERTIES_${name} ${properties} PARENT_SCOPE)
  endforeach()
  set(BLOCKS ${names} PARENT_SCOPE)
endfunction()

# read_block_manifest(FILE) does the same in a build, and writes
# block_manifest.hpp for C++ code that needs the list (target blocks::manifest).
macro(read_block_manifest manifest)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${manifest})
  parse_block_manifest(${manifest})
  set(BLOCK_MANIFEST_ENTRIES "")
  foreach(block IN LISTS BLOCKS)
    set(lagged false)
    if("outputs=lagged" IN_LIST BLOCK_PROPERTIES_${block})
      set(lagged true)
    endif()
    string(APPEND BLOCK_MANIFEST_ENTRIES
           "    {\"${block}\", ${BLOCK_LEVEL_${block}}, ${BLOCK_PARAMETERS_${block}}, ${lagged}},\n")
  endforeach()
  configure_file(${CMAKE_CURRENT_LIST_DIR}/cmake/block_manifest.hpp.in
                 ${CMAKE_BINARY_DIR}/generated/block_manifest.hpp @ONLY)
  add_library(block_manifest INTERFACE)
  add_library(blocks::manifest ALIAS block_manifest)
  target_include_directories(block_manifest INTERFACE ${CMAKE_BINARY_DIR}/generated)
endmacro()
