# The sky renderer's tests, the launcher object's result delivery, and the start-up probe
# that scripts/bench-startup.sh times.
synaptor_embed(rows_jpeg testRowsJpeg "${CMAKE_CURRENT_SOURCE_DIR}/data/rows5x3.jpg")
synaptor_embed(grey_jpeg testGreyJpeg "${CMAKE_CURRENT_SOURCE_DIR}/data/grey5x3.jpg")
add_executable(sky_renderer_tests SkyRendererTest.cpp "${rows_jpeg}" "${grey_jpeg}")
target_link_libraries(sky_renderer_tests PRIVATE launcher_features GTest::gtest_main)
synaptor_strict(sky_renderer_tests)
gtest_discover_tests(sky_renderer_tests DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/scripts/lsan.supp" TIMEOUT 120)

# The real launcher object in a hidden window: where its results go.
add_executable(result_delivery_tests ResultDeliveryTest.cpp)
target_link_libraries(result_delivery_tests PRIVATE launcher_features GTest::gtest_main)
synaptor_strict(result_delivery_tests)
gtest_discover_tests(result_delivery_tests DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/scripts/lsan.supp" TIMEOUT 120)

add_executable(sky_startup_probe SkyStartupProbe.cpp)
target_link_libraries(sky_startup_probe PRIVATE launcher_features)
synaptor_strict(sky_startup_probe)

find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME sky_on_display
         COMMAND "${Python3_EXECUTABLE}" -m unittest -v test_sky_frame
         WORKING_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}")
set_tests_properties(sky_on_display PROPERTIES
    ENVIRONMENT "SKY_PROBE=$<TARGET_FILE:sky_startup_probe>;PYTHONPATH=${PROJECT_SOURCE_DIR}/tests/launcher;SYNAPTOR_SHOTS=${CMAKE_CURRENT_BINARY_DIR}/shots;SYNAPTOR_PLATFORM=$<IF:$<BOOL:${WIN32}>,windows,linux>;ASAN_OPTIONS=detect_leaks=0"
    RESOURCE_LOCK desktop
    RUN_SERIAL TRUE
    TIMEOUT 180)
