# Fills in a manual page's template: @PROJECT_VERSION@, and @PACKSCOPE_LAYOUT_LIST@ and
# @PACKSCOPE_FILTER_FIELDS@ with what LIST_PROGRAM prints (the layout registry's names, and with
# --fields the filter language's fields), when given.
# cmake -DTEMPLATE=... -DOUTPUT=... -DPROJECT_VERSION=... [-DLIST_PROGRAM=...] -P man_page.cmake
set(PACKSCOPE_LAYOUT_LIST "")
set(PACKSCOPE_FILTER_FIELDS "")
if(LIST_PROGRAM)
  execute_process(COMMAND ${LIST_PROGRAM} OUTPUT_VARIABLE PACKSCOPE_LAYOUT_LIST
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${LIST_PROGRAM} failed: ${result}")
  endif()
  string(REGEX REPLACE "\n$" "" PACKSCOPE_LAYOUT_LIST "${PACKSCOPE_LAYOUT_LIST}")
  execute_process(COMMAND ${LIST_PROGRAM} --fields OUTPUT_VARIABLE PACKSCOPE_FILTER_FIELDS
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${LIST_PROGRAM} --fields failed: ${result}")
  endif()
  string(REGEX REPLACE "\n$" "" PACKSCOPE_FILTER_FIELDS "${PACKSCOPE_FILTER_FIELDS}")
endif()
configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
