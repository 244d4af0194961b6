# Renders a manual page as man would and fails on any roff warning.
#
# cmake -D GROFF=... -D PAGE=... -P man_page_check.cmake
if(NOT GROFF)
  message("groff is not installed; the page is not rendered")
  return()
endif()
execute_process(COMMAND "${GROFF}" -man -Tutf8 -ww -z "${PAGE}"
                RESULT_VARIABLE status ERROR_VARIABLE warnings)
if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "${PAGE} does not render cleanly (status ${status}):\n${warnings}")
endif()
