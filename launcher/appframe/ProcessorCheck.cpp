#include "ProcessorCheck.h"

#include <cpuid.h>

namespace AppFrame {

const char* const processorRequirementMessage =
    "Synaptor requires CPU with AVX2 Instruction Set or above. Please upgrade your CPU if you wish to run Synaptor.";

namespace {

constexpr bool Bit(uint64_t word, int bit) { return (word >> bit) & 1u; }

constexpr int kOsxsaveBit = 27;

} // namespace

CpuFeatureWords ReadCpuFeatureWords()
{
    CpuFeatureWords words;
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx)) {
        words.leaf1Ecx = ecx;
    }
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) {
        words.leaf7Ebx = ebx;
    }
    // xgetbv faults unless the OS has enabled it, which OSXSAVE reports.
    if (Bit(words.leaf1Ecx, kOsxsaveBit)) {
        unsigned lo = 0, hi = 0;
        __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
        words.xcr0 = (static_cast<uint64_t>(hi) << 32) | lo;
    }
    return words;
}

bool MeetsProcessorRequirements(const CpuFeatureWords& w)
{
    const uint32_t ecx = w.leaf1Ecx;
    return Bit(ecx, 0)                                          // SSE3
        && Bit(ecx, 9)                                          // SSSE3
        && Bit(ecx, 19)                                         // SSE4.1
        && Bit(ecx, 23)                                         // POPCNT
        && Bit(ecx, 20)                                         // SSE4.2
        && Bit(ecx, kOsxsaveBit) && Bit(w.xcr0, 1) && Bit(w.xcr0, 2) && Bit(ecx, 28) // OS AVX state, AVX
        && Bit(ecx, 1) && Bit(ecx, 25)                          // PCLMULQDQ, AES
        && Bit(w.leaf7Ebx, 5);                                  // AVX2
}

} // namespace AppFrame
