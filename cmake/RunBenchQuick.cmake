# Runs one bench program (PROGRAM) as a test, in the quick mode the environment asks for: it passes when
# the program reaches its end (exit status 0) having printed figures (`name: value unit` lines), none
# of them missing ("no figure"). Timing goals are the full runs' business, not this one's.
if(NOT PROGRAM)
  message(FATAL_ERROR "RunBenchQuick: no PROGRAM")
endif()
execute_process(COMMAND ${PROGRAM} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
message("${out}")
if(NOT rc STREQUAL "0")
  message(FATAL_ERROR "${PROGRAM} did not reach its end (${rc}):\n${err}")
endif()
if(NOT out MATCHES "(^|\n)[A-Za-z0-9_]+: [^\n]+")
  message(FATAL_ERROR "${PROGRAM} printed no figure:\n${err}")
endif()
if(out MATCHES "no figure")
  message(FATAL_ERROR "${PROGRAM} left a figure out:\n${err}")
endif()
