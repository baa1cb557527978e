# The Windows download: a zip of one folder with the launcher, the stand-in
# simulator beside it and a read-me; the programs are linked statically, so
# nothing else is needed to run. Built with the rest (target windows_zip).

include_guard(GLOBAL)

set(SYNAPTOR_ZIP_NAME "Synaptor-${PROJECT_VERSION}-windows-x86_64")
set(SYNAPTOR_ZIP "${CMAKE_BINARY_DIR}/${SYNAPTOR_ZIP_NAME}.zip")
set(_stage "${CMAKE_BINARY_DIR}/zip-stage")
# Windows line ends, for Notepad.
configure_file("${PROJECT_SOURCE_DIR}/packaging/windows/README.txt" "${CMAKE_BINARY_DIR}/zip-README.txt"
    @ONLY NEWLINE_STYLE CRLF)

# Staged afresh each time, so that the zip holds exactly these three files.
add_custom_command(OUTPUT "${SYNAPTOR_ZIP}"
    COMMAND "${CMAKE_COMMAND}" -E rm -rf "${_stage}" "${SYNAPTOR_ZIP}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${_stage}/${SYNAPTOR_ZIP_NAME}"
    COMMAND "${CMAKE_COMMAND}" -E copy "$<TARGET_FILE:launcher>" "$<TARGET_FILE:Neuroblitz64>"
            "${_stage}/${SYNAPTOR_ZIP_NAME}"
    COMMAND "${CMAKE_COMMAND}" -E copy "${CMAKE_BINARY_DIR}/zip-README.txt"
            "${_stage}/${SYNAPTOR_ZIP_NAME}/README.txt"
    COMMAND "${CMAKE_COMMAND}" -E chdir "${_stage}"
            "${CMAKE_COMMAND}" -E tar cf "${SYNAPTOR_ZIP}" --format=zip "${SYNAPTOR_ZIP_NAME}"
    DEPENDS launcher Neuroblitz64 "${CMAKE_BINARY_DIR}/zip-README.txt"
    COMMENT "Packing ${SYNAPTOR_ZIP_NAME}.zip"
    VERBATIM)
add_custom_target(windows_zip ALL DEPENDS "${SYNAPTOR_ZIP}")
