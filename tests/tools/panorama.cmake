# The panorama build tool: the embedded picture's form and content, and the
# tool writing the same bytes on every run, the very bytes the build embeds.
add_executable(panorama_tests PanoramaTest.cpp)
target_link_libraries(panorama_tests PRIVATE launcher_assets synaptor::stb_image GTest::gtest_main)
synaptor_strict(panorama_tests)
gtest_discover_tests(panorama_tests DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 120)

get_property(seed GLOBAL PROPERTY SKY_PANORAMA_SEED)
get_property(embedded GLOBAL PROPERTY SKY_PANORAMA)
add_test(NAME panorama_is_reproducible
    COMMAND "${CMAKE_COMMAND}"
        -DTOOL=$<TARGET_FILE:host::panorama>
        -DSEED=${seed}
        -DEMBEDDED=${embedded}
        -DWORK=${CMAKE_CURRENT_BINARY_DIR}/panorama-runs
        -P "${CMAKE_CURRENT_SOURCE_DIR}/PanoramaReproducible.cmake")
set_tests_properties(panorama_is_reproducible PROPERTIES TIMEOUT 300)
