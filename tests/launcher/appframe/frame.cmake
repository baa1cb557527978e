# The frame's own tests: the processor check, and the frame run for real on the
# display through a probe application.
add_executable(appframe_unit_tests ProcessorCheckTest.cpp StoredPlacementTest.cpp)
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
    ENVIRONMENT "FRAME_PROBE=$<TARGET_FILE:frame_probe>;SYNAPTOR_PLATFORM=$<IF:$<BOOL:${WIN32}>,windows,linux>;ASAN_OPTIONS=detect_leaks=0"
    RESOURCE_LOCK desktop
    RUN_SERIAL TRUE
    TIMEOUT 120)
