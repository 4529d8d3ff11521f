# Runs MODEL with the Linux blocksim; then, under Wine, the Windows
# blocksim (BLOCKSIM) on the same model, and the Windows build's
# run_against_linux (RUNNER) at each x87 precision of X87 ("default" for the
# program's own), each compared value by value with the Linux CSV.
#   cmake -DLINUX_BLOCKSIM=... -DBLOCKSIM=... -DRUNNER=... -DWINE_RUN=... -DBITS=64|32
#         -DMODEL=... -DWORK=... -DX87=default,53 [-DRELATIVE=1e-10] -P compare_with_linux.cmake
# Without a Linux blocksim (make build) the test is reported as skipped.
if(NOT EXISTS "${LINUX_BLOCKSIM}")
  message("skipped: no Linux blocksim at ${LINUX_BLOCKSIM} to compare with (make build)")
  return()
endif()
file(MAKE_DIRECTORY "${WORK}")
get_filename_component(name "${MODEL}" NAME_WE)
set(linux_csv "${WORK}/${name}.linux.csv")
execute_process(COMMAND "${LINUX_BLOCKSIM}" run "${MODEL}" --out "${linux_csv}" --no-plot
                RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the Linux blocksim failed on ${MODEL}: ${errors}")
endif()

string(REPLACE "," ";" X87 "${X87}")
set(relative_option "")
if(DEFINED RELATIVE)
  set(relative_option --relative ${RELATIVE})
endif()
set(WINE_OUTPUTS "${WORK}/${name}.")
include(${CMAKE_CURRENT_LIST_DIR}/run_under_wine.cmake)

set(windows_csv "${WORK}/${name}.windows.csv")
file(REMOVE "${windows_csv}")
run_under_wine(blocksim "wrote " "${BLOCKSIM}" run "${MODEL}" --out "${windows_csv}" --no-plot)
if(skipped)
  return()
endif()
run_under_wine(blocksim_compared "values in [0-9]+ rows" "${RUNNER}" "${MODEL}" "${linux_csv}" --csv "${windows_csv}"
               ${relative_option})
foreach(precision IN LISTS X87)
  set(x87_option "")
  if(NOT precision STREQUAL "default")
    set(x87_option --x87 ${precision})
  endif()
  run_under_wine(x87_${precision} "values in [0-9]+ rows" "${RUNNER}" "${MODEL}" "${linux_csv}" ${x87_option}
                 ${relative_option})
endforeach()
