#include "RunReport.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace vidlane2 {
namespace {

TEST(RunReport, RedirectedOutputGetsOnlyTheSummaryLine)
{
    testing::internal::CaptureStderr();
    RunReport report("decoded", false);
    report.addFrame(1000);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    report.addFrame(24);
    report.finish();
    const std::string text = testing::internal::GetCapturedStderr();
    const std::string start = "vidlane-cli: decoded 2 frames, 1024 bytes, ";
    const std::string end = " frames per second\n";
    EXPECT_EQ(text.substr(0, start.size()), start) << text;
    ASSERT_GT(text.size(), start.size() + end.size()) << text;
    EXPECT_EQ(text.substr(text.size() - end.size()), end) << text;
    EXPECT_EQ(text.find_first_of("\r\n\x1b"), text.size() - 1) << text; // one line, no control characters
}

TEST(RunReport, ATerminalSeesProgressThatTheSummaryReplaces)
{
    testing::internal::CaptureStderr();
    RunReport report("encoded", true);
    report.addFrame(10); // too soon after the start to show
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    report.addFrame(20);
    report.addFrame(30); // too soon after the last one
    report.finish();
    const std::string text = testing::internal::GetCapturedStderr();
    EXPECT_EQ(text.substr(0, text.find("vidlane-cli")), "\rencoded 2 frames, 30 bytes\r\x1b[K") << text;
    EXPECT_NE(text.find("vidlane-cli: encoded 3 frames, 60 bytes, "), std::string::npos) << text;
}

} // namespace
} // namespace vidlane2
