# Run by CPack on the staged tree before it is packed: a Debian package
# holds its manual pages and changelog compressed with gzip -9n (no name or
# time stamp, so the package is reproducible). Other packages are left as
# cmake --install lays them out.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
file(GLOB_RECURSE staged_files LIST_DIRECTORIES false
     "${CPACK_TEMPORARY_DIRECTORY}/*/share/man/man1/*.1"
     "${CPACK_TEMPORARY_DIRECTORY}/*/share/doc/d88cut/changelog")
if(NOT staged_files)
  message(FATAL_ERROR "no manual pages found under ${CPACK_TEMPORARY_DIRECTORY}")
endif()
foreach(file IN LISTS staged_files)
  execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip -9n ${file} failed")
  endif()
endforeach()
