# vidlane-cli decode of a test stream must equal FFmpeg's decode, luma for luma
# (format uint8). Run with -DCLI, -DSTREAM, -DREFERENCE_LUMA, -DOUT, -DSIZE=WxH
# unless the tool is to take the size from the stream, and -DCODEC (default h264).
if(DEFINED SIZE)
    set(size_args --size ${SIZE})
endif()
if(NOT DEFINED CODEC)
    set(CODEC h264)
endif()
execute_process(COMMAND "${CLI}" decode --format uint8 --codec ${CODEC} ${size_args} "${STREAM}" "${OUT}"
                RESULT_VARIABLE result ERROR_VARIABLE error)
if(result)
    if(error MATCHES "no CUDA-capable device|driver version is insufficient" AND NOT DEFINED ENV{VIDLANE2_REQUIRE_GPU})
        message("skipped: no GPU (${error})")
        return()
    endif()
    message(FATAL_ERROR "vidlane-cli failed: ${error}")
endif()
file(SHA256 "${OUT}" decoded)
file(SHA256 "${REFERENCE_LUMA}" expected)
if(NOT decoded STREQUAL expected)
    message(FATAL_ERROR "decoded frames differ from the reference")
endif()
