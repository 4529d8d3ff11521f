# The Windows blocksim as a user meets it, under Wine: its version, a usage
# error, a plot it cannot draw, an output that would replace the model, and
# a failed run that leaves the previous complete CSV as it was.
#   cmake -DBLOCKSIM=... -DWINE_RUN=... -DBITS=64|32 -DEXAMPLES=... -DWORK=... -DVERSION=... -P blocksim_under_wine.cmake
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
set(case 0)

# Runs blocksim with ARGN; checks its exit status and that what it printed
# (standard output and error together) matches `expected`.
function(expect expected_status expected)
  math(EXPR next "${case} + 1")
  set(case ${next} PARENT_SCOPE)
  set(output_file "${WORK}/case${next}.out")
  # Into a file: Wine's own processes, which outlive the program, would hold a pipe open.
  execute_process(COMMAND sh "${WINE_RUN}" ${BITS} "${BLOCKSIM}" ${ARGN}
                  RESULT_VARIABLE status OUTPUT_FILE "${output_file}" ERROR_FILE "${output_file}")
  file(READ "${output_file}" output)
  string(REPLACE "\r" "" output "${output}")
  # The 32-bit Wine, in the 64-bit prefix, cannot start the prefix's 64-bit
  # wineboot and says so at each start; the program runs all the same.
  string(REGEX REPLACE "wine: failed to start [^\n]*wineboot\\.exe\"\n" "" output "${output}")
  if(output MATCHES "wine-run.sh: .*skipped")
    message("${output}")
    set(skipped TRUE PARENT_SCOPE)
    return()
  endif()
  if(NOT status STREQUAL "${expected_status}" OR NOT output MATCHES "${expected}")
    message(FATAL_ERROR "blocksim ${ARGN}: status ${status} (expected ${expected_status}), printed:\n${output}\n"
                        "expected to match: ${expected}")
  endif()
endfunction()

expect(0 "^${VERSION}\n$" --version)
if(skipped)
  return()
endif()
expect(2 "^blocksim run: unknown option --stopp; did you mean --stop\\? \\(see 'blocksim run --help'\\)\n$"
       run --stopp 3)
expect(1 "--plot needs gnuplot, but the Windows blocksim draws no plots"
       run "${EXAMPLES}/blower.yaml" --out "${WORK}/blower.csv" --plot "${WORK}/blower.png")
if(EXISTS "${WORK}/blower.csv")
  message(FATAL_ERROR "a refused run wrote ${WORK}/blower.csv")
endif()

file(COPY "${EXAMPLES}/blower.yaml" DESTINATION "${WORK}")
file(READ "${WORK}/blower.yaml" model_before)
expect(1 "blocksim: error: .*blower.yaml" run "${WORK}/blower.yaml" --out "${WORK}/blower.yaml" --no-plot)
file(READ "${WORK}/blower.yaml" model_after)
if(NOT model_before STREQUAL model_after)
  message(FATAL_ERROR "blocksim wrote over its model ${WORK}/blower.yaml")
endif()

expect(0 "wrote [^\n]*blower.csv \\(1 row, 11 signals\\)" run "${WORK}/blower.yaml" --out "${WORK}/blower.csv" --no-plot)
file(READ "${WORK}/blower.csv" complete)
file(WRITE "${WORK}/broken.yaml" "solver: {method: ode4, step: 0.1, stop: 1}\nblocks:\n  fan: {sfunction: no_such_block}\n")
expect(1 "blocksim: error: [^\n]*no_such_block" run "${WORK}/broken.yaml" --out "${WORK}/blower.csv" --no-plot)
file(READ "${WORK}/blower.csv" after_failure)
if(NOT complete STREQUAL after_failure)
  message(FATAL_ERROR "a failed run changed the previous complete ${WORK}/blower.csv")
endif()
file(GLOB leftovers "${WORK}/.blower.csv.*")
if(leftovers)
  message(FATAL_ERROR "a failed run left ${leftovers}")
endif()
message("${case} cases as expected")
