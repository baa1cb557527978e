# The encoder and decoder objects and the graphics registry, built into
# Vidlane2. Included from the api folder, which owns the library's interface.
set(_core "${CMAKE_CURRENT_LIST_DIR}")

# Host-only rules of the objects (frame layout, session settings), which the
# tests use without the CUDA runtime.
add_library(vidlane2_object_rules STATIC
    "${_core}/EncoderSettings.cpp"
    "${_core}/FrameLayout.cpp"
    "${_core}/SessionFailure.cpp")
target_include_directories(vidlane2_object_rules PUBLIC "${PROJECT_SOURCE_DIR}/vidlane2")
target_link_libraries(vidlane2_object_rules PUBLIC vidlane2_core)
set_target_properties(vidlane2_object_rules PROPERTIES POSITION_INDEPENDENT_CODE ON)
synaptor_strict(vidlane2_object_rules)

# cuda_gl_interop.h needs the OpenGL types; the library itself never calls OpenGL.
find_package(OpenGL REQUIRED COMPONENTS OpenGL)

target_sources(Vidlane2 PRIVATE
    "${_core}/DeviceMemory.cpp"
    "${_core}/FrameDecoder.cpp"
    "${_core}/FrameDecoderInterop.cpp"
    "${_core}/FrameEncoder.cpp"
    "${_core}/FrameEncoderInterop.cpp"
    "${_core}/GraphicsMapping.cpp"
    "${_core}/GraphicsResourceRegistry.cpp")
target_include_directories(Vidlane2 PRIVATE ${OPENGL_INCLUDE_DIR})
target_link_libraries(Vidlane2 PRIVATE vidlane2_object_rules vidlane2_sessions vidlane2_cuda_errors vidlane2_core)
