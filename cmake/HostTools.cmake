# Makes the build tools available as imported executables host::<name>. A native
# build builds them in place; a cross-build builds them for the build machine in
# a folder of its own at configure time.
include(HostToolList)

if(NOT CMAKE_CROSSCOMPILING)
    foreach(tool IN LISTS SYNAPTOR_HOST_TOOLS)
        add_subdirectory("${PROJECT_SOURCE_DIR}/tools/${tool}" "${CMAKE_BINARY_DIR}/tools/${tool}")
        add_executable(host::${tool} ALIAS ${tool})
    endforeach()
    return()
endif()

set(_host_dir "${CMAKE_BINARY_DIR}/host-tools")
execute_process(
    COMMAND "${CMAKE_COMMAND}" -S "${PROJECT_SOURCE_DIR}/tools/host" -B "${_host_dir}"
            -DCMAKE_BUILD_TYPE=Release -G "${CMAKE_GENERATOR}"
    RESULT_VARIABLE _configured)
if(NOT _configured EQUAL 0)
    message(FATAL_ERROR "Configuring the build tools for the build machine failed")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${_host_dir}" RESULT_VARIABLE _built)
if(NOT _built EQUAL 0)
    message(FATAL_ERROR "Building the build tools for the build machine failed")
endif()
foreach(tool IN LISTS SYNAPTOR_HOST_TOOLS)
    add_executable(host::${tool} IMPORTED GLOBAL)
    set_target_properties(host::${tool} PROPERTIES IMPORTED_LOCATION "${_host_dir}/${tool}/${tool}")
endforeach()

# Keep the build tools current when their sources change after configuring.
add_custom_target(host_tools COMMAND "${CMAKE_COMMAND}" --build "${_host_dir}"
    COMMENT "Building the build tools for the build machine")
