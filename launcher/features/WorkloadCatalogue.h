#pragma once
// The eight prepared brain workloads, smallest (row 0) to largest (row 7). Each
// column is a parallel array that the drop-down lists take as their items.

namespace Features::WorkloadCatalogue {

constexpr int rowCount = 8;

extern const char* const simulationNames[rowCount];
extern const char* const simulationArguments[rowCount];
extern const char* const benchmarkNames[rowCount];
extern const char* const benchmarkShortNames[rowCount];
extern const char* const benchmarkArguments[rowCount];
extern const char* const suitabilityNotes[rowCount];
extern const char* const gpuMemoryNotes[rowCount];

} // namespace Features::WorkloadCatalogue
