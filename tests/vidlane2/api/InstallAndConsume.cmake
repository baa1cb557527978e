# Installs the build into a fresh prefix, then builds a consumer against the
# installed package twice: through its CMake package, and by hand with the C
# compiler and pkg-config's flags. Run with -DBUILD_DIR, -DCONSUMER_DIR,
# -DWORK_DIR, -DC_COMPILER.
file(REMOVE_RECURSE "${WORK_DIR}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${WORK_DIR}/prefix"
                RESULT_VARIABLE result)
if(result)
    message(FATAL_ERROR "install failed")
endif()
foreach(path include/Vidlane2.h lib/cmake/Vidlane2/Vidlane2Config.cmake lib/cmake/Vidlane2/Vidlane2Targets.cmake)
    if(NOT EXISTS "${WORK_DIR}/prefix/${path}")
        message(FATAL_ERROR "not installed: ${path}")
    endif()
endforeach()
execute_process(COMMAND "${CMAKE_COMMAND}" -S "${CONSUMER_DIR}" -B "${WORK_DIR}/consumer" -G Ninja
                        "-DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix"
                RESULT_VARIABLE result)
if(result)
    message(FATAL_ERROR "configuring the consumer failed")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${WORK_DIR}/consumer" RESULT_VARIABLE result)
if(result)
    message(FATAL_ERROR "building the consumer failed")
endif()

file(GLOB_RECURSE pc_files "${WORK_DIR}/prefix/vidlane2.pc")
if(NOT pc_files)
    message(FATAL_ERROR "not installed: vidlane2.pc")
endif()
list(GET pc_files 0 pc_file)
get_filename_component(pc_dir "${pc_file}" DIRECTORY)
find_program(PKG_CONFIG NAMES pkg-config pkgconf REQUIRED)
set(ENV{PKG_CONFIG_PATH} "${pc_dir}")
set(ENV{PKG_CONFIG_LIBDIR} "${pc_dir}") # this package only, never a system one
execute_process(COMMAND "${PKG_CONFIG}" --cflags --libs vidlane2
                OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE result)
if(result)
    message(FATAL_ERROR "pkg-config does not know vidlane2")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
execute_process(COMMAND "${C_COMPILER}" -std=c99 -Wall -Wextra -Werror "${CONSUMER_DIR}/consumer.c" ${flags}
                        -o "${WORK_DIR}/consumer-pkg-config"
                RESULT_VARIABLE result ERROR_VARIABLE error)
if(result)
    message(FATAL_ERROR "building the consumer with pkg-config's flags failed: ${error}")
endif()
