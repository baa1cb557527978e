// Outside Windows NVENC has no asynchronous mode: the session makes no events,
// registers none, hands none over and never waits.
#include "sessions/CompletionEvent.h"

#include "EncodeSessionFixture.h"

namespace {

TEST(CompletionEvent, ThereAreNoneAndAWaitReturnsAtOnce)
{
    EXPECT_EQ(vidlane2::CreateCompletionEvent(), nullptr);
    EXPECT_TRUE(vidlane2::WaitForCompletionEvent(nullptr, 20000));
    vidlane2::CloseCompletionEvent(nullptr);
}

class PosixEncodeSession : public EncodeSessionFixture, public testing::Test {};

TEST_F(PosixEncodeSession, RegistersNoEventsAndPicturesCarryNone)
{
    Create(2);
    vidlane2::EncodedPackets packets;
    for (int frame = 0; frame < 3; ++frame)
        session->EncodeFrame(packets, nullptr, nullptr);
    session->EndEncode(packets);
    EXPECT_TRUE(fake_nvenc::RegisteredEvents().empty());
    for (const NV_ENC_PIC_PARAMS& picture : fake_nvenc::Pictures())
        EXPECT_EQ(picture.completionEvent, nullptr);
    session.reset();
    EXPECT_EQ(fake_nvenc::CountCalls("nvEncUnregisterAsyncEvent"), 0u);
}

} // namespace
