# Runs one libFuzzer target for SECONDS on its corpus:
#   cmake -DFUZZER=... -DCORPUS=... -DWORK=... -DSECONDS=... -P fuzz_run.cmake
# New inputs go to the scratch folder WORK first; only those that add
# coverage are merged into CORPUS afterwards, so the committed corpus stays
# small. A crash leaves its input beside WORK as <WORK>-crash-*.
foreach(var FUZZER CORPUS WORK SECONDS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "fuzz_run.cmake: ${var} not set")
  endif()
endforeach()
if(NOT SECONDS MATCHES "^[0-9]+$")
  message(FATAL_ERROR "fuzz_run.cmake: seconds must be a whole number, not '${SECONDS}'")
endif()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK} ${CORPUS})
execute_process(
  COMMAND ${FUZZER} -max_total_time=${SECONDS} -max_len=4096 -timeout=10 -rss_limit_mb=2048
          -print_final_stats=1 -artifact_prefix=${WORK}- ${WORK} ${CORPUS}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (${rc}); artifacts under ${WORK}-*")
endif()

execute_process(COMMAND ${FUZZER} -merge=1 ${CORPUS} ${WORK}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "merging into ${CORPUS} failed (${rc}):\n${out}")
endif()
string(STRIP "${out}" out)
string(REGEX REPLACE ".*\n" "" last "${out}")
message(STATUS "${last}")
file(REMOVE_RECURSE ${WORK})
