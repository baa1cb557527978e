# Runs vidlane-cli and checks its exit status and its output (stdout, then
# stderr) against a regular expression. Run with -DCLI, -DARGS (a list),
# -DSTATUS, -DOUTPUT; ARGS separates its arguments with |. EMULATOR, when
# given, runs it (Wine for the Windows build).
string(REPLACE "|" ";" ARGS "${ARGS}")
execute_process(COMMAND ${EMULATOR} "${CLI}" ${ARGS} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(all "${out}${err}")
if(NOT result STREQUAL STATUS)
    message(FATAL_ERROR "exit status ${result}, expected ${STATUS}:\n${all}")
endif()
if(NOT all MATCHES "${OUTPUT}")
    message(FATAL_ERROR "output does not match '${OUTPUT}':\n${all}")
endif()
message("${all}")
