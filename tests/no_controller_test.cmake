# Runs tavrel (with arguments, which must change nothing) where no controller is present.
execute_process(COMMAND ${TAVREL} --help extra arguments
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 20)
if(NOT status EQUAL 1)
  message(FATAL_ERROR "exit status ${status}, expected 1")
endif()
if(NOT out STREQUAL "")
  message(FATAL_ERROR "standard output not empty: '${out}'")
endif()
if(NOT err STREQUAL "JoyCon not found.\n")
  message(FATAL_ERROR "standard error: '${err}'")
endif()
