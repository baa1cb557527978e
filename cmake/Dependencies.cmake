# The launcher's third-party libraries as targets: synaptor::glfw, synaptor::glad,
# synaptor::imgui (with its GLFW and OpenGL 3 back-ends) and synaptor::stb_image.
# Linux uses Debian's packages; the Windows build uses what scripts/setup.sh
# cross-built into the dependency cache.

include_guard(GLOBAL)

# ---- GLFW ------------------------------------------------------------------------
find_package(glfw3 3.3 REQUIRED)
add_library(synaptor_glfw INTERFACE)
target_link_libraries(synaptor_glfw INTERFACE glfw)
add_library(synaptor::glfw ALIAS synaptor_glfw)

# ---- glad: generated once per build folder, OpenGL 3.3 core ------------------------
set(_glad_dir "${CMAKE_BINARY_DIR}/glad")
if(NOT EXISTS "${_glad_dir}/src/gl.c")
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    execute_process(
        COMMAND "${Python3_EXECUTABLE}" -m glad --quiet --reproducible --api gl:core=3.3 --out-path "${_glad_dir}" c
        RESULT_VARIABLE _glad_result OUTPUT_QUIET ERROR_VARIABLE _glad_error)
    if(NOT _glad_result EQUAL 0)
        message(FATAL_ERROR "glad2 could not generate the OpenGL loader (run scripts/setup.sh):\n${_glad_error}")
    endif()
endif()
add_library(synaptor_glad STATIC "${_glad_dir}/src/gl.c")
target_include_directories(synaptor_glad SYSTEM PUBLIC "${_glad_dir}/include")
add_library(synaptor::glad ALIAS synaptor_glad)

# ---- Dear ImGui ----------------------------------------------------------------------
if(WIN32)
    set(_imgui "${SYNAPTOR_DEPS_DIR}/src/imgui")
    if(NOT EXISTS "${_imgui}/imgui.cpp")
        message(FATAL_ERROR "Dear ImGui sources are missing in ${_imgui}: run scripts/setup.sh")
    endif()
    add_library(synaptor_imgui STATIC
        "${_imgui}/imgui.cpp" "${_imgui}/imgui_draw.cpp" "${_imgui}/imgui_tables.cpp"
        "${_imgui}/imgui_widgets.cpp" "${_imgui}/imgui_demo.cpp"
        "${_imgui}/backends/imgui_impl_glfw.cpp" "${_imgui}/backends/imgui_impl_opengl3.cpp")
    target_include_directories(synaptor_imgui SYSTEM PUBLIC "${_imgui}" "${_imgui}/backends")
    target_link_libraries(synaptor_imgui PUBLIC synaptor::glfw imm32)
else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(IMGUI REQUIRED IMPORTED_TARGET imgui)
    add_library(synaptor_imgui INTERFACE)
    target_include_directories(synaptor_imgui SYSTEM INTERFACE /usr/include/imgui/backends)
    target_link_libraries(synaptor_imgui INTERFACE PkgConfig::IMGUI synaptor::glfw ${CMAKE_DL_LIBS})
    # Debian builds Dear ImGui against the system's stb_truetype and stb_rect_pack
    # (libstb); the Windows build compiles the library's own copies into it. Code
    # that drives the library's rasterizer must use the same one.
    pkg_check_modules(IMGUI_STB REQUIRED IMPORTED_TARGET stb)
    target_link_libraries(synaptor_imgui INTERFACE PkgConfig::IMGUI_STB)
    target_compile_definitions(synaptor_imgui INTERFACE SYNAPTOR_IMGUI_SYSTEM_STB)
endif()
add_library(synaptor::imgui ALIAS synaptor_imgui)

# ---- stb_image -------------------------------------------------------------------------
if(WIN32)
    set(_stb_src "${CMAKE_BINARY_DIR}/stb_image_impl.c")
    file(WRITE "${_stb_src}" "#define STB_IMAGE_IMPLEMENTATION\n#include <stb_image.h>\n")
    add_library(synaptor_stb_image STATIC "${_stb_src}")
    target_include_directories(synaptor_stb_image SYSTEM PUBLIC /usr/include/stb)
else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(STB REQUIRED IMPORTED_TARGET stb)
    add_library(synaptor_stb_image INTERFACE)
    target_link_libraries(synaptor_stb_image INTERFACE PkgConfig::STB)
endif()
add_library(synaptor::stb_image ALIAS synaptor_stb_image)
