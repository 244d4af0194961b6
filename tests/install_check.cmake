# Installs a build into a fresh prefix, checks that both tools and both
# manual pages land where they belong, and that the installed tools run.
#
# cmake -D BUILD_DIR=... -D PREFIX=... -D BINDIR=... -D MANDIR=... -P install_check.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed:\n${output}")
endif()

foreach(file "${BINDIR}/d88cut" "${BINDIR}/d88info" "${MANDIR}/man1/d88cut.1" "${MANDIR}/man1/d88info.1")
  if(NOT EXISTS "${PREFIX}/${file}")
    message(FATAL_ERROR "${file} is not installed under ${PREFIX}")
  endif()
endforeach()

# Without arguments each tool prints its usage and fails.
foreach(tool d88cut d88info)
  execute_process(COMMAND "${PREFIX}/${BINDIR}/${tool}" RESULT_VARIABLE status ERROR_VARIABLE error)
  if(NOT status EQUAL 1 OR NOT error MATCHES "^Usage: ")
    message(FATAL_ERROR "installed ${tool} does not run as expected: status ${status}, ${error}")
  endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
