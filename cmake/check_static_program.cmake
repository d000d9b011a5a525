# ctest script: the program is a static executable and, run through the
# emulator with an empty environment (no library path), prints its usage.
#   cmake -DPROGRAM=<file> -DEMULATOR=<qemu> -DUSAGE=<regex> -DSTATUS=<n> -P check_static_program.cmake
execute_process(COMMAND file -b ${PROGRAM} OUTPUT_VARIABLE kind RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT kind MATCHES "statically linked")
  message(FATAL_ERROR "${PROGRAM} is not a static executable: ${kind}")
endif()
execute_process(COMMAND env -i ${EMULATOR} ${PROGRAM}
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL STATUS OR NOT out MATCHES "${USAGE}")
  message(FATAL_ERROR "${PROGRAM} without arguments: status ${rc}, output [${out}${err}]")
endif()
