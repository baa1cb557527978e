#include "DecodeSessionFixture.h"

namespace {

using namespace fake_nvdec;

// Whatever arrives, the session never crashes or hangs: it raises an
// NVDECException or yields no frame, and the next good key frame decodes.
TEST_F(DecodeSessionTest, BadPacketsNeverBreakTheSession)
{
    std::string garbage;
    for (int i = 0; i < 512; ++i)
        garbage.push_back(static_cast<char>((i * 131 + 17) & 0xFF));
    const std::string cases[] = {
        "",
        garbage,
        "SEQ 4 1920",                     // truncated sequence header
        "PIC",                            // truncated picture
        Seq1080p().substr(0, 20),         // cut in the middle
        Frame(40),                        // surface index beyond the decoder's
        Out(17),                          // display of a picture never decoded
        Frame(0) + Frame(1) + Frame(2),   // several pictures in one packet
        std::string("\0\0\0\1\x67", 5),   // a start code and nothing after it
        Seq(cudaVideoCodec_H264, 0, 0, 0, 0, 0, 0),
    };
    int caseNumber = 0;
    for (const std::string& packet : cases) {
        SetUp();
        Open();
        ASSERT_EQ(Feed(Seq1080p() + Frame(0)).count, 1);
        try {
            const Result result = Feed(packet);
            EXPECT_GE(result.count, 0) << caseNumber;
            for (uint8_t* frame : result.frames)
                EXPECT_NE(frame, nullptr);
        } catch (const vidlane2::NVDECException&) {
        }
        const Result next = Feed(Seq1080p() + Frame(3), 9);
        ASSERT_EQ(next.count, 1) << caseNumber;
        EXPECT_EQ(next.timestamps[0], 9);
        EXPECT_EQ(fake_cuda::ContextDepth(), 0u);
        TearDown();
        ++caseNumber;
    }
}

} // namespace
