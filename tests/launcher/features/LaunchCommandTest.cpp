// What each of the sixteen (mode, row) choices hands to the simulator, letter
// for letter, and the catalogue's notes.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "LaunchCommand.h"
#include "WorkloadCatalogue.h"

namespace {

using Features::BuildLaunchCommand;
namespace catalogue = Features::WorkloadCatalogue;

struct Case {
    bool benchmark;
    int row;
    const char* commandLine; // before " -fripipe <window>"
    const char* resultName;
};

const Case cases[] = {
    {false, 0, " -project demoSmall.xml -ministhalamus -demo -noresize", ""},
    {false, 1, " -project demoBig.xml -ministhalamus -demo -noresize", ""},
    {false, 2, " -project demoBiggest.xml -ministhalamus -demo -noresize", ""},
    {false, 3, " -project demoHuge.xml -ministhalamus -demo -noresize", ""},
    {false, 4, " -project demo1m.xml -ministhalamus -demo -noresize", ""},
    {false, 5, " -project demo2m.xml -ministhalamus -demo -noresize", ""},
    {false, 6, " -project demo4m.xml -ministhalamus -demo -noresize", ""},
    {false, 7, " -project demo16m.xml -ministhalamus -demo -noresize", ""},
    {true, 0, " -project demoSmall.xml -ministhalamus -demo -noresize -benchwrite -noopengl -warmupsamples 2000 -benchsamples 10000 -benchexit", "Pulsemark2.32K"},
    {true, 1, " -project demoBig.xml -ministhalamus -demo -noresize -benchwrite -noopengl -warmupsamples 2000 -benchsamples 10000 -benchexit", "Pulsemark2.128K"},
    {true, 2, " -project demoBiggest.xml -ministhalamus -demo -noresize -benchwrite -noopengl -warmupsamples 2000 -benchsamples 10000 -benchexit", "Pulsemark2.256K"},
    {true, 3, " -project demoHuge.xml -ministhalamus -demo -noresize -benchwrite -noopengl -warmupsamples 1000 -benchsamples 5000 -benchexit", "Pulsemark2.512K"},
    {true, 4, " -project demo1m.xml -ministhalamus -demo -noresize -benchwrite -noopengl -warmupsamples 1000 -benchsamples 5000 -benchexit", "Pulsemark2.1M"},
    {true, 5, " -project demo2m.xml -ministhalamus -demo -noresize -benchwrite -noopengl -warmupsamples 500 -benchsamples 2000 -benchexit", "Pulsemark2.2M"},
    {true, 6, " -project demo4m.xml -ministhalamus -demo -noresize -benchwrite -noopengl -warmupsamples 500 -benchsamples 2000 -benchexit", "Pulsemark2.4M"},
    {true, 7, " -project demo16m.xml -ministhalamus -demo -noresize -benchwrite -noopengl -warmupsamples 200 -benchsamples 1000 -benchexit", "Pulsemark2.16M"},
};

TEST(LaunchCommand, EachChoiceGivesItsExactCommandLine)
{
    for (const std::uint64_t window : {0ull, 1ull, 17913872385ull, 18446744073709551615ull}) {
        const std::string number = std::to_string(window);
        for (const Case& c : cases) {
            SCOPED_TRACE((c.benchmark ? "benchmark row " : "simulation row ") + std::to_string(c.row) + ", window " + number);
            // The unused list's selection must not matter.
            const int other = 7 - c.row;
            const auto command = c.benchmark ? BuildLaunchCommand(true, other, c.row, window)
                                             : BuildLaunchCommand(false, c.row, other, window);
            if (c.benchmark) {
                EXPECT_EQ(command.commandLine, std::string(c.commandLine) + " -fripipe " + number);
                EXPECT_EQ(command.handleText, number);
            } else {
                EXPECT_EQ(command.commandLine, c.commandLine);
                EXPECT_EQ(command.handleText, "");
            }
            EXPECT_EQ(command.resultName, c.resultName);
        }
    }
}

TEST(WorkloadCatalogue, NotesReadAsOneSentence)
{
    for (int row = 0; row < catalogue::rowCount; ++row) {
        SCOPED_TRACE(row);
        // U+26A0 in UTF-8, then a blank.
        EXPECT_EQ(std::strncmp(catalogue::suitabilityNotes[row], "\xE2\x9A\xA0 This workload is suitable for ", 34), 0);
        const std::string note = catalogue::suitabilityNotes[row];
        EXPECT_EQ(note.substr(note.size() - 4), " RAM");
        const std::string gpu = catalogue::gpuMemoryNotes[row];
        EXPECT_EQ(gpu.rfind(" and ", 0), 0u);
        EXPECT_EQ(gpu.substr(gpu.size() - 12), " of GPU VRAM");
    }
    EXPECT_STREQ(catalogue::gpuMemoryNotes[1], " and 2GB+ of GPU VRAM");
    EXPECT_EQ(std::string(catalogue::suitabilityNotes[2]) + catalogue::gpuMemoryNotes[2],
              "\xE2\x9A\xA0 This workload is suitable for 'gaming' laptops and desktops (8-16 CPUs) with 16GB+ RAM"
              " and 4GB of GPU VRAM");
}

TEST(WorkloadCatalogue, ListNamesMatchTheirRows)
{
    const char* const sizes[] = {"32768 Neurons, 2M Synapses",   "131072 Neurons, 13M Synapses",
                                 "262144 Neurons, 35M Synapses", "524288 Neurons, 100M Synapses",
                                 "1M Neurons, 200M Synapses",    "2.1M Neurons, 500M Synapses",
                                 "4.2M Neurons, 1.2B Synapses",  "16.7M Neurons, 4B Synapses"};
    const char* const brains[] = {"Smallest", "Smaller", "Small", "Medium", "Large", "Larger", "Largest", "Huge"};
    for (int row = 0; row < catalogue::rowCount; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(catalogue::simulationNames[row], std::string(brains[row]) + " Brain - " + sizes[row]);
        EXPECT_EQ(catalogue::benchmarkNames[row], std::string(catalogue::benchmarkShortNames[row]) + " - " + sizes[row]);
    }
}

} // namespace
