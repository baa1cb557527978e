# Checks with objdump -p that LIBRARY exports the eleven functions and
# NvOptimusEnablementCuda by their plain names, and nothing else.
execute_process(COMMAND "${OBJDUMP}" -p "${LIBRARY}" OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${LIBRARY} failed (${result})")
endif()
# The names follow the "[Ordinal/Name Pointer] Table" heading, one a line:
# "	[   0] Vidlane_CreateDecoder".
string(FIND "${dump}" "[Ordinal/Name Pointer] Table" start)
if(start EQUAL -1)
    message(FATAL_ERROR "${LIBRARY} has no export name table:\n${dump}")
endif()
string(SUBSTRING "${dump}" ${start} -1 table)
string(REGEX MATCHALL "\n\t\\[ *[0-9]+\\] [^\n]+" rows "${table}")
set(exported)
foreach(row IN LISTS rows)
    string(REGEX REPLACE "^\n\t\\[ *[0-9]+\\] " "" name "${row}")
    list(APPEND exported "${name}")
endforeach()
list(SORT exported)
set(expected NvOptimusEnablementCuda Vidlane_CreateDecoder Vidlane_CreateEncoder Vidlane_Decode Vidlane_DecodePBO
    Vidlane_DecodeTexture Vidlane_Destroy Vidlane_Encode Vidlane_EncodePBO Vidlane_EncodeTexture Vidlane_GetError
    Vidlane_SetBitrate)
list(SORT expected)
if(NOT exported STREQUAL expected)
    message(FATAL_ERROR "exports of ${LIBRARY}:\n  ${exported}\nexpected:\n  ${expected}")
endif()
message("${LIBRARY} exports: ${exported}")
