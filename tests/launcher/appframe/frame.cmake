# The frame's own tests: the processor check, and the frame run for real on the
# display through a probe application.
add_executable(appframe_unit_tests ProcessorCheckTest.cpp StoredPlacementTest.cpp)
if(WIN32)
    target_sources(appframe_unit_tests PRIVATE ControllerLibraryTest.cpp)
endif()
target_link_libraries(appframe_unit_tests PRIVATE launcher_appframe GTest::gtest_main)
gtest_discover_tests(appframe_unit_tests DISCOVERY_MODE PRE_TEST)

add_executable(frame_probe frame_probe.cpp)
target_link_libraries(frame_probe PRIVATE launcher_appframe)
synaptor_strict(frame_probe)

find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME frame_on_display
         COMMAND "${Python3_EXECUTABLE}" -m unittest -v test_frame
         WORKING_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}")
set_tests_properties(frame_on_display PROPERTIES
    ENVIRONMENT "FRAME_PROBE=$<TARGET_FILE:frame_probe>;PYTHONPATH=${PROJECT_SOURCE_DIR}/tests/launcher;SYNAPTOR_SHOTS=${CMAKE_CURRENT_BINARY_DIR}/shots;SYNAPTOR_PLATFORM=$<IF:$<BOOL:${WIN32}>,windows,linux>;ASAN_OPTIONS=detect_leaks=0"
    RESOURCE_LOCK desktop
    RUN_SERIAL TRUE
    TIMEOUT 120)

# The bare window that scripts/bench-first-frame.sh times the launcher against.
add_executable(bare_window bare_window.cpp)
target_link_libraries(bare_window PRIVATE synaptor::imgui synaptor::glad synaptor::glfw)
synaptor_strict(bare_window)
if(WIN32)
    set_target_properties(bare_window PROPERTIES WIN32_EXECUTABLE ON)
    target_link_options(bare_window PRIVATE -municode)
endif()
