# Copies FILES (paths relative to FROM) to the same paths below TO.
#   cmake -DFROM=<folder> -DTO=<folder> "-DFILES=a/b.cpp;c.h" -P copy_tree_files.cmake
cmake_minimum_required(VERSION 3.25)
foreach(file IN LISTS FILES)
  get_filename_component(folder "${TO}/${file}" DIRECTORY)
  file(COPY "${FROM}/${file}" DESTINATION "${folder}")
endforeach()
