# Installs the build into a fresh prefix, then configures and builds a
# consumer against the installed package. Run with -DBUILD_DIR, -DCONSUMER_DIR, -DWORK_DIR.
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
