# The MinGW cross-build has no Vidlane2.dll (that needs nvcc with MSVC). Its
# interface tests go through Vidlane2-cpu-test.dll: the same objects linked
# with the kernels' CPU launchers over the fake CUDA runtime, a DLL of its own
# that the tests steer. A test artefact, never shipped. The fake drivers lie
# beside it in bin, where Windows looks first.
add_library(vidlane2_cpu_test_library SHARED "${PROJECT_SOURCE_DIR}/vidlane2/kernels/ArrayTexture.cpp")
set_target_properties(vidlane2_cpu_test_library PROPERTIES OUTPUT_NAME Vidlane2-cpu-test PREFIX "")
target_link_libraries(vidlane2_cpu_test_library PRIVATE vidlane2_objects vidlane2_cpu_kernels
                                                PUBLIC vidlane2_public_header)
add_dependencies(vidlane2_cpu_test_library vidlane2_fake_nvdec vidlane2_fake_nvenc)
synaptor_strict(vidlane2_cpu_test_library)

# Its export table holds the interface and nothing else of ours.
find_program(VIDLANE2_OBJDUMP NAMES x86_64-w64-mingw32-objdump objdump REQUIRED)
add_test(NAME vidlane2_cpu_test_library_exports
    COMMAND "${CMAKE_COMMAND}" -DOBJDUMP=${VIDLANE2_OBJDUMP} -DLIBRARY=$<TARGET_FILE:vidlane2_cpu_test_library>
            -P "${CMAKE_CURRENT_SOURCE_DIR}/CheckExports.cmake")

# The interface from a C program that links nothing but the library.
add_executable(vidlane2_cpu_library_c_test cpu_library_test.c)
set_target_properties(vidlane2_cpu_library_c_test PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON C_EXTENSIONS OFF)
target_link_libraries(vidlane2_cpu_library_c_test PRIVATE vidlane2_cpu_test_library)
synaptor_strict(vidlane2_cpu_library_c_test)
add_test(NAME vidlane2_cpu_library_c_test COMMAND vidlane2_cpu_library_c_test)
set_tests_properties(vidlane2_cpu_library_c_test PROPERTIES PASS_REGULAR_EXPRESSION "^ok")

# Failures injected into the fake runtime under the library's DLL.
add_executable(vidlane2_cpu_library_failure_test CpuLibraryFailureTest.cpp)
target_link_libraries(vidlane2_cpu_library_failure_test PRIVATE
    vidlane2_cpu_test_library vidlane2_fake_cuda_runtime vidlane2_fake_nvenc GTest::gtest_main)
synaptor_strict(vidlane2_cpu_library_failure_test)
gtest_discover_tests(vidlane2_cpu_library_failure_test)

# vidlane-cli.exe runs over this library too. Its tests see what a machine
# without NVIDIA's video drivers shows: a folder with the tool, the library,
# the fake runtime and the fake CUDA driver it needs, but no nvcuvid.dll or
# nvEncodeAPI64.dll (bin has them).
set(VIDLANE2_CLI_DIR "${CMAKE_BINARY_DIR}/vidlane-cli-without-video-drivers")
set(_cli_files vidlane-cli vidlane2_cpu_test_library vidlane2_fake_cuda_runtime vidlane2_fake_cuda)
set(_sources)
foreach(target IN LISTS _cli_files)
    list(APPEND _sources "$<TARGET_FILE:${target}>")
endforeach()
add_custom_command(OUTPUT "${VIDLANE2_CLI_DIR}/vidlane-cli.exe"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${VIDLANE2_CLI_DIR}"
    COMMAND "${CMAKE_COMMAND}" -E copy ${_sources} "${VIDLANE2_CLI_DIR}/"
    DEPENDS ${_cli_files} VERBATIM)
add_custom_target(vidlane2_cli_without_video_drivers ALL DEPENDS "${VIDLANE2_CLI_DIR}/vidlane-cli.exe")
set(VIDLANE2_CLI_PROGRAM "${VIDLANE2_CLI_DIR}/vidlane-cli.exe" CACHE INTERNAL "The vidlane-cli the tests run")
