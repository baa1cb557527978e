# Settings shared by every target of the project.

option(SYNAPTOR_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

# Where scripts/setup.sh keeps what it builds outside the source tree.
if(DEFINED ENV{SYNAPTOR_DEPS})
    set(SYNAPTOR_DEPS_DIR "$ENV{SYNAPTOR_DEPS}" CACHE PATH "Dependency cache")
else()
    set(SYNAPTOR_DEPS_DIR "$ENV{HOME}/.cache/synaptor-deps" CACHE PATH "Dependency cache")
endif()

if(SYNAPTOR_SANITIZE AND NOT WIN32)
    # nvcc takes no -fsanitize; CUDA sources build without the sanitizers.
    add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-fsanitize=address,undefined;-fno-omit-frame-pointer;-fno-sanitize-recover=undefined>")
    add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32 AND MINGW)
    # One self-contained executable per program: no MinGW runtime DLLs beside it.
    add_link_options(-static -static-libgcc -static-libstdc++)
endif()

# Warnings are errors in our own code.
function(synaptor_strict target)
    if(MSVC)
        target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:C,CXX>:/W4 /WX>
            $<$<COMPILE_LANGUAGE:CUDA>:-Xcompiler=/W4,/WX --Werror=all-warnings>)
    else()
        target_compile_options(${target} PRIVATE
            $<$<COMPILE_LANGUAGE:C,CXX>:-Wall -Wextra -Werror>
            $<$<COMPILE_LANGUAGE:CUDA>:-Xcompiler=-Wall,-Wextra,-Werror --Werror=all-warnings>)
    endif()
endfunction()

# Embeds a file's bytes as `const unsigned char <symbol>[]` with the size in
# `<symbol>Size`, assembled straight from the file.
function(synaptor_embed out_var symbol file)
    set(src "${CMAKE_CURRENT_BINARY_DIR}/embed_${symbol}.c")
    if(WIN32)
        set(section ".section .rdata,\\\"dr\\\"")
    else()
        set(section ".section .rodata")
    endif()
    file(GENERATE OUTPUT "${src}" CONTENT
"/* Generated: the bytes of ${file}. */
#include <stddef.h>
__asm__(\"${section}\\n\"
        \".global ${symbol}\\n\"
        \".balign 16\\n\"
        \"${symbol}:\\n\"
        \".incbin \\\"${file}\\\"\\n\"
        \"${symbol}End:\\n\"
        \".byte 0\\n\"
        \".balign 8\\n\"
        \".global ${symbol}Size\\n\"
        \"${symbol}Size:\\n\"
        \".quad ${symbol}End - ${symbol}\\n\"
        \".text\\n\");
")
    set_source_files_properties("${src}" PROPERTIES OBJECT_DEPENDS "${file}")
    set(${out_var} "${src}" PARENT_SCOPE)
endfunction()
