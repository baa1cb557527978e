#pragma once
// The start-up test that the processor has every instruction-set extension the
// launcher is built for, up to AVX2.

#include <cstdint>

namespace AppFrame {

// The processor's answers that the test reads.
struct CpuFeatureWords {
    uint32_t leaf1Ecx = 0;      // cpuid leaf 1, ECX
    uint32_t leaf7Ebx = 0;      // cpuid leaf 7 sub-leaf 0, EBX (0 when the leaf is absent)
    uint64_t xcr0 = 0;          // xgetbv(0); read only when the OS saves extended state
};

// Reads the words from this processor.
CpuFeatureWords ReadCpuFeatureWords();

// True when SSE3, SSSE3, SSE4.1, POPCNT, SSE4.2, OSXSAVE with XMM and YMM state
// enabled, AVX, PCLMULQDQ, AES and AVX2 are all present.
bool MeetsProcessorRequirements(const CpuFeatureWords& words);

extern const char* const processorRequirementMessage;

} // namespace AppFrame
