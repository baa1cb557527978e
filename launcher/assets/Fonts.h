#pragma once
// The eight embedded fonts, each in Dear ImGui's compressed-font stream form.

#include <cstddef>

extern "C" {
#define SYNAPTOR_FONT(name) extern const unsigned char name[]; extern const size_t name##Size;
SYNAPTOR_FONT(fontInterRegular)
SYNAPTOR_FONT(fontInterSemiBold)
SYNAPTOR_FONT(fontInterLight)
SYNAPTOR_FONT(fontCarlito)
SYNAPTOR_FONT(fontOpenSansRegular)
SYNAPTOR_FONT(fontOpenSansSemiBold)
SYNAPTOR_FONT(fontRobotoRegular)
SYNAPTOR_FONT(fontRobotoMedium)
#undef SYNAPTOR_FONT
}
