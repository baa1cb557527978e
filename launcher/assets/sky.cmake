# The sky's panorama, drawn at build time by the panorama tool, and its two shader
# texts, compiled into the launcher (SkyAssets.h).

set(SKY_PANORAMA_SEED 20251209)
set(SKY_PANORAMA "${CMAKE_CURRENT_BINARY_DIR}/skyPanorama.jpg")
add_custom_command(OUTPUT "${SKY_PANORAMA}"
    COMMAND host::panorama "${SKY_PANORAMA}" ${SKY_PANORAMA_SEED}
    DEPENDS host::panorama
    COMMENT "Drawing the sky panorama")
synaptor_embed(embedded skyPanorama "${SKY_PANORAMA}")
set_source_files_properties("${embedded}" PROPERTIES OBJECT_DEPENDS "${SKY_PANORAMA}")
list(APPEND LAUNCHER_ASSET_SOURCES "${embedded}" "${SKY_PANORAMA}")
# For the tool's tests.
set_property(GLOBAL PROPERTY SKY_PANORAMA_SEED ${SKY_PANORAMA_SEED})
set_property(GLOBAL PROPERTY SKY_PANORAMA "${SKY_PANORAMA}")

foreach(shader IN ITEMS skyVertexShader:sky.vert skyFragmentShader:sky.frag)
    string(REPLACE ":" ";" shader "${shader}")
    list(GET shader 0 symbol)
    list(GET shader 1 file)
    synaptor_embed(embedded ${symbol} "${CMAKE_CURRENT_SOURCE_DIR}/${file}")
    list(APPEND LAUNCHER_ASSET_SOURCES "${embedded}")
endforeach()
