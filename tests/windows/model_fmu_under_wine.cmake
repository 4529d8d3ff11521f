# Exports MODEL with the Linux blocksim as an FMU with this Windows build's
# binaries (from MODEL_STAGE, as --path), unpacks it and runs it under Wine
# with RUNNER (run_model_fmu); then compares what the FMU gave, value by
# value, with the Linux blocksim's run of the model (COMPARE,
# run_against_linux --csv: within RELATIVE, or without it the differences
# reported in ulps, as the engine demo's are for blocksim.exe).
#   cmake -DLINUX_BLOCKSIM=... -DMODEL_STAGE=... -DRUNNER=... -DCOMPARE=... -DWINE_RUN=...
#         -DBITS=64|32 -DMODEL=... -DWORK=... [-DRELATIVE=1e-10] -P model_fmu_under_wine.cmake
# Without a Linux blocksim (make build) the test is reported as skipped.
if(NOT EXISTS "${LINUX_BLOCKSIM}")
  message("skipped: no Linux blocksim at ${LINUX_BLOCKSIM} to export the model with (make build)")
  return()
endif()
get_filename_component(name "${MODEL}" NAME_WE)
set(work "${WORK}/${name}")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}/unpacked")
set(linux_csv "${work}/${name}.linux.csv")
execute_process(COMMAND "${LINUX_BLOCKSIM}" run "${MODEL}" --out "${linux_csv}" --no-plot
                RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the Linux blocksim failed on ${MODEL}: ${errors}")
endif()
execute_process(COMMAND "${LINUX_BLOCKSIM}" export "${MODEL}" --fmu "${work}/${name}.fmu" --platforms win${BITS}
                        --path "${MODEL_STAGE}"
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
message("${output}")
if(NOT status EQUAL 0 OR NOT output MATCHES "binaries for win${BITS}\n")
  message(FATAL_ERROR "blocksim export of ${MODEL} for win${BITS} failed (status ${status}): ${errors}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E chdir "${work}/unpacked" ${CMAKE_COMMAND} -E tar xf "${work}/${name}.fmu"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot unpack ${work}/${name}.fmu")
endif()

set(WINE_OUTPUTS "${work}/")
include(${CMAKE_CURRENT_LIST_DIR}/run_under_wine.cmake)

set(fmu_csv "${work}/${name}.fmu.csv")
run_under_wine(fmu "stepped the FMU through [0-9]+ rows" "${RUNNER}" "${work}/unpacked" "${name}" "${linux_csv}"
               "${fmu_csv}")
if(skipped)
  return()
endif()
set(relative_option "")
if(DEFINED RELATIVE)
  set(relative_option --relative ${RELATIVE})
endif()
run_under_wine(compared "values in [0-9]+ rows" "${COMPARE}" "${MODEL}" "${linux_csv}" --csv "${fmu_csv}"
               ${relative_option})
