# run(STATUS ARGS...): runs ${QLCONFIG} with ARGS and fails unless it exits with STATUS; what it
# printed (standard output, then errors) is left in last_output.
function(run expected_status)
  execute_process(COMMAND ${QLCONFIG} ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL expected_status)
    message(FATAL_ERROR "qlconfig ${ARGN}: status ${status}, expected ${expected_status}\n${out}${err}")
  endif()
  set(last_output "${out}${err}" PARENT_SCOPE)
endfunction()
