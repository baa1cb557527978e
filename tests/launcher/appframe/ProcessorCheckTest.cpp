#include <gtest/gtest.h>

#include "ProcessorCheck.h"

namespace {

using AppFrame::CpuFeatureWords;

CpuFeatureWords AllPresent()
{
    CpuFeatureWords w;
    for (int bit : {0, 9, 19, 23, 20, 27, 28, 1, 25}) {
        w.leaf1Ecx |= 1u << bit;
    }
    w.xcr0 = 0b110;
    w.leaf7Ebx = 1u << 5;
    return w;
}

TEST(ProcessorCheck, PassesWithEveryFeature)
{
    EXPECT_TRUE(AppFrame::MeetsProcessorRequirements(AllPresent()));
}

struct Missing {
    const char* feature;
    uint32_t leaf1Ecx;
    uint64_t xcr0;
    uint32_t leaf7Ebx;
};

TEST(ProcessorCheck, FailsWhenAnyOneFeatureIsMissing)
{
    const Missing cases[] = {
        {"SSE3", 1u << 0, 0, 0},       {"SSSE3", 1u << 9, 0, 0},     {"SSE4.1", 1u << 19, 0, 0},
        {"POPCNT", 1u << 23, 0, 0},    {"SSE4.2", 1u << 20, 0, 0},   {"OSXSAVE", 1u << 27, 0, 0},
        {"XMM state", 0, 1u << 1, 0},  {"YMM state", 0, 1u << 2, 0}, {"AVX", 1u << 28, 0, 0},
        {"PCLMULQDQ", 1u << 1, 0, 0},  {"AES", 1u << 25, 0, 0},      {"AVX2", 0, 0, 1u << 5},
    };
    for (const Missing& m : cases) {
        CpuFeatureWords w = AllPresent();
        w.leaf1Ecx &= ~m.leaf1Ecx;
        w.xcr0 &= ~m.xcr0;
        w.leaf7Ebx &= ~m.leaf7Ebx;
        EXPECT_FALSE(AppFrame::MeetsProcessorRequirements(w)) << "without " << m.feature;
    }
}

TEST(ProcessorCheck, ThisMachinePasses)
{
    // Every machine that builds and tests the launcher has AVX2.
    EXPECT_TRUE(AppFrame::MeetsProcessorRequirements(AppFrame::ReadCpuFeatureWords()));
}

TEST(ProcessorCheck, MessageText)
{
    EXPECT_STREQ(AppFrame::processorRequirementMessage,
                 "Synaptor requires CPU with AVX2 Instruction Set or above. Please upgrade your CPU if you wish to run Synaptor.");
}

} // namespace
