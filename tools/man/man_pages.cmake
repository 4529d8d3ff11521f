# cmake -DBLOCKSIM=... -DHELP_TO_MAN=... -DVERSION=... -DMAN_DIR=... -P man_pages.cmake
# MAN_DIR/man1/blocksim.1 from `blocksim --help`, and blocksim-NAME.1 from
# `blocksim NAME --help` for each command that help lists.
file(REMOVE_RECURSE ${MAN_DIR}/man1)
file(MAKE_DIRECTORY ${MAN_DIR}/man1)

# One page, from the help of blocksim's command `command` (none: blocksim's
# own); the commands that help lists in `commands_var`.
function(make_page page command commands_var)
  execute_process(COMMAND ${BLOCKSIM} ${command} --help
                  COMMAND ${HELP_TO_MAN} ${page} ${VERSION} ${MAN_DIR}/man1/${page}.1
                  RESULTS_VARIABLE statuses OUTPUT_VARIABLE commands ERROR_VARIABLE errors)
  if(NOT statuses STREQUAL "0;0")
    message(FATAL_ERROR "the man page ${page}.1 was not made (exit statuses ${statuses}): ${errors}")
  endif()
  string(REGEX REPLACE "\n$" "" commands "${commands}")
  string(REPLACE "\n" ";" commands "${commands}")
  set(${commands_var} "${commands}" PARENT_SCOPE)
endfunction()

make_page(blocksim "" commands)
if(NOT commands)
  message(FATAL_ERROR "blocksim --help lists no commands")
endif()
foreach(command IN LISTS commands)
  make_page(blocksim-${command} ${command} ignored)
endforeach()
