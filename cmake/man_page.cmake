# Fills in a manual page's template: @PROJECT_VERSION@, and with MAN_TEXT (packscope-man-text)
# @PACKSCOPE_OPTIONS@ with the OPTIONS entries of PROGRAM's option table and
# @PACKSCOPE_FILTER_FIELDS@ with the filter language's fields.
# cmake -DTEMPLATE=... -DOUTPUT=... -DPROJECT_VERSION=... [-DMAN_TEXT=... -DPROGRAM=...]
#   -P man_page.cmake
set(PACKSCOPE_OPTIONS "")
set(PACKSCOPE_FILTER_FIELDS "")
function(packscope_man_text variable)
  execute_process(COMMAND ${MAN_TEXT} ${ARGN} OUTPUT_VARIABLE text RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${MAN_TEXT} ${ARGN} failed: ${result}")
  endif()
  string(REGEX REPLACE "\n$" "" text "${text}")
  set(${variable} "${text}" PARENT_SCOPE)
endfunction()
if(MAN_TEXT)
  packscope_man_text(PACKSCOPE_OPTIONS --options ${PROGRAM})
  packscope_man_text(PACKSCOPE_FILTER_FIELDS --fields)
endif()
configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
