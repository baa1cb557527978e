# Picks the CUDA toolkit that builds Vidlane2, decides from nvcc's version what
# depends on it (the GPU generations and the host compiler), then enables CUDA.
# Any toolkit from 11.8 to 13 builds the library. What the user names wins:
# CMAKE_CUDA_COMPILER or CUDACXX for the toolkit,
# CMAKE_CUDA_ARCHITECTURES or CUDAARCHS for the generations,
# CMAKE_CUDA_HOST_COMPILER or CUDAHOSTCXX for the host compiler.

include_guard(GLOBAL)

function(_synaptor_nvcc_version nvcc out_var)
    execute_process(COMMAND "${nvcc}" --version OUTPUT_VARIABLE text ERROR_VARIABLE text RESULT_VARIABLE result)
    if(NOT result EQUAL 0 OR NOT text MATCHES "release ([0-9]+)\\.([0-9]+)")
        message(FATAL_ERROR "${nvcc} --version gave no CUDA release:\n${text}")
    endif()
    set(${out_var} "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}" PARENT_SCOPE)
endfunction()

# The newest GCC major version the toolkit's nvcc accepts as host compiler.
function(_synaptor_newest_host_gcc cuda_version out_var)
    if(cuda_version VERSION_LESS 12.0)
        set(newest 11)
    elseif(cuda_version VERSION_LESS 12.4)
        set(newest 12)
    elseif(cuda_version VERSION_LESS 13.0)
        set(newest 13)
    else()
        set(newest 15)
    endif()
    set(${out_var} ${newest} PARENT_SCOPE)
endfunction()

# CMAKE_CUDA_COMPILER names the toolkit's nvcc afterwards, and
# SYNAPTOR_CUDA_VERSION its version.
macro(_synaptor_find_nvcc)
    if(NOT CMAKE_CUDA_COMPILER)
        if(DEFINED ENV{CUDACXX} AND NOT "$ENV{CUDACXX}" STREQUAL "")
            set(_nvcc "$ENV{CUDACXX}")
        else()
            # A host program, also where a toolchain file re-roots the search.
            find_program(SYNAPTOR_NVCC nvcc PATHS "$ENV{CUDA_HOME}/bin" "$ENV{CUDA_PATH}/bin" /usr/local/cuda/bin
                         NO_CMAKE_FIND_ROOT_PATH)
            if(NOT SYNAPTOR_NVCC)
                message(FATAL_ERROR "No CUDA toolkit (nvcc) found for Vidlane2: install one from 11.8 to 13 "
                                    "(scripts/setup.sh installs Debian's), or name its nvcc with CUDACXX or "
                                    "-DCMAKE_CUDA_COMPILER, or turn the library off with -DSYNAPTOR_BUILD_VIDLANE2=OFF")
            endif()
            set(_nvcc "${SYNAPTOR_NVCC}")
        endif()
        # enable_language(CUDA) must take the same nvcc as the version read here.
        set(CMAKE_CUDA_COMPILER "${_nvcc}" CACHE FILEPATH "CUDA compiler")
    endif()
    _synaptor_nvcc_version("${CMAKE_CUDA_COMPILER}" SYNAPTOR_CUDA_VERSION)
    if(SYNAPTOR_CUDA_VERSION VERSION_LESS 11.8)
        message(FATAL_ERROR "CUDA ${SYNAPTOR_CUDA_VERSION} (${CMAKE_CUDA_COMPILER}) is too old: Vidlane2 needs 11.8 or newer")
    endif()
endmacro()

macro(synaptor_choose_cuda_toolkit)
    _synaptor_find_nvcc()

    if(NOT DEFINED CMAKE_CUDA_ARCHITECTURES AND NOT DEFINED ENV{CUDAARCHS})
        if(SYNAPTOR_CUDA_VERSION VERSION_LESS 13.0)
            # Machine code and PTX for Maxwell (5.2) to Ada (8.9), machine code for Hopper.
            set(CMAKE_CUDA_ARCHITECTURES 52 60 70 80 89 90-real)
        else()
            # CUDA 13 builds Turing (7.5) and newer only; PTX of the newest for later GPUs.
            set(CMAKE_CUDA_ARCHITECTURES 75-real 80-real 86-real 89-real 90-real 90-virtual)
        endif()
    endif()

    # With MSVC, nvcc takes the cl.exe of the environment it runs in.
    if(NOT MSVC AND NOT CMAKE_CUDA_HOST_COMPILER AND (NOT DEFINED ENV{CUDAHOSTCXX} OR "$ENV{CUDAHOSTCXX}" STREQUAL ""))
        _synaptor_newest_host_gcc(${SYNAPTOR_CUDA_VERSION} _newest_gcc)
        if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS ${_newest_gcc}.99)
            set(_host "${CMAKE_CXX_COMPILER}")
        else()
            # The machine's default g++ is too new for this toolkit: an older one beside it.
            set(_candidates)
            foreach(major RANGE ${_newest_gcc} 9 -1)
                list(APPEND _candidates g++-${major})
            endforeach()
            find_program(SYNAPTOR_CUDA_HOST_GXX NAMES ${_candidates})
            if(NOT SYNAPTOR_CUDA_HOST_GXX)
                message(FATAL_ERROR "CUDA ${SYNAPTOR_CUDA_VERSION} takes g++ ${_newest_gcc} or older as host compiler, "
                                    "and none was found: install g++-${_newest_gcc} (scripts/setup.sh does) or "
                                    "name one with -DCMAKE_CUDA_HOST_COMPILER")
            endif()
            set(_host "${SYNAPTOR_CUDA_HOST_GXX}")
        endif()
        set(CMAKE_CUDA_HOST_COMPILER "${_host}" CACHE FILEPATH "Host compiler of nvcc")
    endif()
    set(_host "${CMAKE_CUDA_HOST_COMPILER}")
    if(NOT _host)
        set(_host "$ENV{CUDAHOSTCXX}")
    endif()
    set(_archs "${CMAKE_CUDA_ARCHITECTURES}")
    if(NOT DEFINED CMAKE_CUDA_ARCHITECTURES)
        set(_archs "$ENV{CUDAARCHS}")
    endif()
    message(STATUS "Vidlane2: CUDA ${SYNAPTOR_CUDA_VERSION} (${CMAKE_CUDA_COMPILER}), host compiler ${_host}, "
                   "architectures ${_archs}")

    enable_language(CUDA)
    # The C++ compiler links, also where nvcc compiles with an older GCC: that
    # GCC's own folder on the link line would give the link its libraries
    # (g++-11's libasan.so.6 beside g++-12's libasan.so.8 under the sanitizers).
    foreach(_dir IN LISTS CMAKE_CUDA_IMPLICIT_LINK_DIRECTORIES)
        if(_dir MATCHES "/gcc/" AND NOT _dir IN_LIST CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES)
            list(REMOVE_ITEM CMAKE_CUDA_IMPLICIT_LINK_DIRECTORIES "${_dir}")
        endif()
    endforeach()
endmacro()

# The MinGW cross-build compiles the library's host code only: no nvcc, no
# CUDA language. It takes the runtime's headers from the toolkit found on this
# machine and NVENC/NVDEC's from ffnvcodec, copied into a folder of their own:
# the folders they live in (/usr/include for Debian's toolkit) also hold
# glibc's headers, which must never come before MinGW's.
set(_synaptor_cuda_host_headers
    builtin_types.h crt/host_defines.h cuda_device_runtime_api.h cuda_gl_interop.h cuda_runtime_api.h
    device_types.h driver_types.h surface_types.h texture_types.h vector_types.h)
set(_synaptor_ffnvcodec_headers
    ffnvcodec/dynlink_cuda.h ffnvcodec/dynlink_cuviddec.h ffnvcodec/dynlink_nvcuvid.h ffnvcodec/nvEncodeAPI.h)

# Defines the interface target vidlane2_cuda_headers.
function(synaptor_stage_cuda_headers)
    _synaptor_find_nvcc()
    get_filename_component(_bin "${CMAKE_CUDA_COMPILER}" DIRECTORY)
    # /usr/local/cuda/bin/nvcc, a wrapper in /usr/local/bin, Debian's /usr/bin/nvcc.
    find_path(SYNAPTOR_CUDA_HOST_INCLUDE cuda_runtime_api.h
              HINTS "${_bin}/../include" "${_bin}/../targets/x86_64-linux/include"
              NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    find_path(SYNAPTOR_FFNVCODEC_HOST_INCLUDE ffnvcodec/nvEncodeAPI.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH)
    if(NOT SYNAPTOR_CUDA_HOST_INCLUDE OR NOT SYNAPTOR_FFNVCODEC_HOST_INCLUDE)
        message(FATAL_ERROR "Vidlane2's host code needs the CUDA runtime's headers beside ${CMAKE_CUDA_COMPILER} "
                            "and ffnvcodec's (Debian's libffmpeg-nvenc-dev); found: '${SYNAPTOR_CUDA_HOST_INCLUDE}', "
                            "'${SYNAPTOR_FFNVCODEC_HOST_INCLUDE}'")
    endif()
    set(_stage "${CMAKE_BINARY_DIR}/vidlane2-host-headers")
    foreach(_pair IN ITEMS "SYNAPTOR_CUDA_HOST_INCLUDE;_synaptor_cuda_host_headers"
                           "SYNAPTOR_FFNVCODEC_HOST_INCLUDE;_synaptor_ffnvcodec_headers")
        list(GET _pair 0 _dir_var)
        list(GET _pair 1 _list_var)
        foreach(_header IN LISTS ${_list_var})
            configure_file("${${_dir_var}}/${_header}" "${_stage}/${_header}" COPYONLY)
        endforeach()
    endforeach()
    add_library(vidlane2_cuda_headers INTERFACE)
    target_include_directories(vidlane2_cuda_headers SYSTEM INTERFACE "${_stage}")
    message(STATUS "Vidlane2: host code only, CUDA ${SYNAPTOR_CUDA_VERSION} headers (${SYNAPTOR_CUDA_HOST_INCLUDE}), "
                   "ffnvcodec (${SYNAPTOR_FFNVCODEC_HOST_INCLUDE}), staged in ${_stage}")
endfunction()
