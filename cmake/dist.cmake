# Writes the release archives into OUT (make dist):
#   engine-blocks-VERSION-windows.zip  the ten Windows libraries, the block
#       sources (sfun/, core/), make_blocks.m with the block records it reads, and
#       README-windows.txt
#   engine-blocks-VERSION-linux.tar.gz  make install of the Linux build:
#       blocksim, the block libraries, the examples and the Xcos toolbox
# VERSION is the project's (CMake's project(VERSION)), read from the Linux
# build. Each archive takes its name only when complete.
#   cmake -DSOURCE_DIR=... -DLINUX_BUILD=... -DWINDOWS64_BUILD=... -DWINDOWS32_BUILD=... -DOUT=... -P dist.cmake
cmake_minimum_required(VERSION 3.25)

function(fail message)
  message(FATAL_ERROR "make dist: ${message}")
endfunction()

function(read_version build out)
  file(STRINGS "${build}/CMakeCache.txt" line REGEX "^CMAKE_PROJECT_VERSION:[A-Z]+=")
  string(REGEX REPLACE "^[^=]*=" "" version "${line}")
  if(version STREQUAL "")
    fail("no project version in ${build}/CMakeCache.txt (make build)")
  endif()
  set(${out} ${version} PARENT_SCOPE)
endfunction()

# Archives FOLDER (a folder of STAGE) as FILE, through a temporary name.
function(archive stage folder file mode)
  set(partial "${file}.partial")
  file(REMOVE "${partial}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar ${mode} "${partial}" ${ARGN} -- "${folder}"
                  WORKING_DIRECTORY "${stage}" RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    file(REMOVE "${partial}")
    fail("cannot write ${file}: ${errors}")
  endif()
  # Read back: the archive must list every file staged.
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf "${partial}" RESULT_VARIABLE status
                  OUTPUT_VARIABLE listed ERROR_VARIABLE errors)
  file(GLOB_RECURSE staged RELATIVE "${stage}" LIST_DIRECTORIES false "${stage}/${folder}/*")
  foreach(entry IN LISTS staged)
    string(FIND "${listed}" "${entry}\n" at)
    if(NOT status EQUAL 0 OR at EQUAL -1)
      file(REMOVE "${partial}")
      fail("${file} does not read back with ${entry}: ${errors}")
    endif()
  endforeach()
  list(LENGTH staged count)
  file(RENAME "${partial}" "${file}")
  message("wrote ${file} (${count} files)")
endfunction()

function(stage_windows stage folder)
  set(root "${stage}/${folder}")
  file(MAKE_DIRECTORY "${root}")
  include("${SOURCE_DIR}/cmake/BlockManifest.cmake")
  parse_block_records("${SOURCE_DIR}/sfun/blocks.records")
  set(count 0)
  foreach(block IN LISTS BLOCKS)
    foreach(pair "${WINDOWS64_BUILD}:mexw64" "${WINDOWS32_BUILD}:mexw32")
      string(REGEX MATCH "[^:]+$" suffix "${pair}")
      string(REGEX REPLACE ":[^:]+$" "" build "${pair}")
      set(library "${build}/blocks/${block}.${suffix}")
      if(NOT EXISTS "${library}")
        fail("no ${library} (make windows)")
      endif()
      file(COPY "${library}" DESTINATION "${root}")
      math(EXPR count "${count} + 1")
    endforeach()
  endforeach()
  message("${count} Windows libraries")
  file(COPY "${SOURCE_DIR}/sfun" "${SOURCE_DIR}/core" DESTINATION "${root}" PATTERN "CMakeLists.txt" EXCLUDE)
  file(COPY "${SOURCE_DIR}/make_blocks.m" "${SOURCE_DIR}/block_manifest.m" DESTINATION "${root}")
  configure_file("${SOURCE_DIR}/docs/README-windows.txt" "${root}/README-windows.txt" @ONLY NEWLINE_STYLE CRLF)
endfunction()

function(stage_linux stage folder)
  execute_process(COMMAND ${CMAKE_COMMAND} --install "${LINUX_BUILD}" --prefix "${stage}/${folder}"
                  RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    fail("installing ${LINUX_BUILD} failed: ${errors}")
  endif()
endfunction()

read_version("${LINUX_BUILD}" VERSION)
set(stage "${OUT}/.stage")
file(REMOVE_RECURSE "${stage}")
file(MAKE_DIRECTORY "${stage}")
stage_windows("${stage}" engine-blocks-${VERSION}-windows)
archive("${stage}" engine-blocks-${VERSION}-windows "${OUT}/engine-blocks-${VERSION}-windows.zip" cf --format=zip)
stage_linux("${stage}" engine-blocks-${VERSION}-linux)
archive("${stage}" engine-blocks-${VERSION}-linux "${OUT}/engine-blocks-${VERSION}-linux.tar.gz" czf)
file(REMOVE_RECURSE "${stage}")
