# run_under_wine(WHAT EXPECTED PROGRAM ARGUMENTS...): runs a Windows
# program under Wine (WINE_RUN, BITS) for the model MODEL and prints what it
# printed. Judged by that output as well as by its status: a Wine that
# cannot start a program may still exit 0. A program reported as skipped
# sets `skipped` in the caller. The output goes to files,
# ${WINE_OUTPUTS}WHAT.out: Wine's own processes, which outlive the
# program, would hold a pipe open.
function(run_under_wine what expected)
  set(output_file "${WINE_OUTPUTS}${what}.out")
  execute_process(COMMAND sh "${WINE_RUN}" ${BITS} ${ARGN}
                  RESULT_VARIABLE status OUTPUT_FILE "${output_file}" ERROR_FILE "${output_file}.errors")
  file(READ "${output_file}" output)
  file(READ "${output_file}.errors" errors)
  string(STRIP "${output}" output)
  message("${output}")
  if(output MATCHES "skipped")
    set(skipped TRUE PARENT_SCOPE)
  elseif(NOT status EQUAL 0 OR NOT output MATCHES "${expected}")
    message(FATAL_ERROR "the Windows run of ${MODEL} (${what}) failed (status ${status}): ${errors}")
  endif()
endfunction()
