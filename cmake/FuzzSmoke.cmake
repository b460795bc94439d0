# Runs a libFuzzer target for a few seconds over a scratch copy of its corpus.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
if(EXISTS ${CORPUS})
  file(COPY ${CORPUS}/ DESTINATION ${WORK})
endif()
execute_process(COMMAND ${FUZZER} -max_total_time=${SECONDS} -print_final_stats=1 ${WORK}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "fuzzer failed with ${rc}")
endif()
