# Build tools that generate the launcher's assets; each is tools/<name>/ with a target <name>.
set(SYNAPTOR_HOST_TOOLS)
foreach(_tool IN ITEMS fontpack panorama)
    if(EXISTS "${CMAKE_CURRENT_LIST_DIR}/../tools/${_tool}/CMakeLists.txt")
        list(APPEND SYNAPTOR_HOST_TOOLS ${_tool})
    endif()
endforeach()
