// Windows: every ring slot has an auto-reset event registered with NVENC. In
// asynchronous mode the fake NVENC finishes a picture a moment after it was
// submitted and then sets its event; the session must wait for the event
// before it locks the bitstream, which the fake's call record shows.
#include "sessions/CompletionEvent.h"

#include "EncodeSessionFixture.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

TEST(CompletionEvent, IsAutoResetAndOnlyAFailedWaitFails)
{
    void* event = vidlane2::CreateCompletionEvent();
    ASSERT_NE(event, nullptr);
    EXPECT_TRUE(vidlane2::WaitForCompletionEvent(event, 0)); // a time-out is no failure
    SetEvent(static_cast<HANDLE>(event));
    EXPECT_TRUE(vidlane2::WaitForCompletionEvent(event, 0));
    EXPECT_EQ(WaitForSingleObject(static_cast<HANDLE>(event), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    vidlane2::CloseCompletionEvent(event);
    EXPECT_FALSE(vidlane2::WaitForCompletionEvent(event, 0));
}

class AsyncEncodeSession : public EncodeSessionFixture, public testing::TestWithParam<int> {};

TEST_P(AsyncEncodeSession, WaitsForEachPicturesEventBeforeLockingItsBitstream)
{
    const int ring = GetParam();
    fake_nvenc::SetAsyncSupported(1);
    Create(ring);
    ASSERT_EQ(params.enableEncodeAsync, 1u);
    const auto& events = fake_nvenc::RegisteredEvents();
    ASSERT_EQ(events.size(), static_cast<size_t>(ring));

    constexpr uint32_t kFrames = 5;
    std::vector<std::vector<uint8_t>> collected;
    vidlane2::EncodedPackets packets;
    for (uint32_t frame = 0; frame < kFrames; ++frame) {
        session->EncodeFrame(packets, nullptr, nullptr);
        collected.insert(collected.end(), packets.begin(), packets.end());
    }
    session->EndEncode(packets);
    collected.insert(collected.end(), packets.begin(), packets.end());
    ASSERT_EQ(collected.size(), kFrames);
    for (uint32_t frame = 0; frame < kFrames; ++frame) {
        EXPECT_EQ(collected[frame], fake_nvenc::PacketFor(frame)) << frame;
        EXPECT_EQ(fake_nvenc::Pictures()[frame].completionEvent, events[frame % ring].completionEvent) << frame;
    }

    // Pictures finish and are locked in submission order: the n-th lock must
    // come after the n-th picture was done.
    size_t done = 0, locked = 0;
    std::string record;
    for (const std::string& call : fake_nvenc::Calls()) {
        if (call == fake_nvenc::kPictureDone)
            ++done;
        if (call == "nvEncLockBitstream") {
            ++locked;
            EXPECT_GE(done, locked) << "lock " << locked << " before its picture was done";
        }
        if (call == "nvEncEncodePicture" || call == fake_nvenc::kPictureDone || call == "nvEncLockBitstream")
            record += call + "\n";
    }
    EXPECT_EQ(done, kFrames);
    EXPECT_EQ(locked, kFrames);
    std::printf("ring of %d, the fake NVENC's record:\n%s", ring, record.c_str());

    session.reset();
    EXPECT_EQ(fake_nvenc::CountCalls("nvEncUnregisterAsyncEvent"), static_cast<size_t>(ring));
    EXPECT_EQ(fake_nvenc::LiveAsyncEvents(), 0u);
}

INSTANTIATE_TEST_SUITE_P(RingSizes, AsyncEncodeSession, testing::Values(1, 3));

class SyncEncodeSession : public EncodeSessionFixture, public testing::Test {};

TEST_F(SyncEncodeSession, RegistersAnEventPerSlotAndHandsItOverButNeverWaits)
{
    Create(2);
    ASSERT_EQ(params.enableEncodeAsync, 0u);
    const auto& events = fake_nvenc::RegisteredEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_NE(events[0].completionEvent, nullptr);
    EXPECT_NE(events[0].completionEvent, events[1].completionEvent);
    vidlane2::EncodedPackets packets;
    for (int frame = 0; frame < 3; ++frame)
        session->EncodeFrame(packets, nullptr, nullptr);
    for (int frame = 0; frame < 3; ++frame)
        EXPECT_EQ(fake_nvenc::Pictures()[frame].completionEvent, events[frame % 2].completionEvent);
    EXPECT_EQ(fake_nvenc::CountCalls(fake_nvenc::kPictureDone), 0u);
    session.reset();
    EXPECT_EQ(fake_nvenc::LiveAsyncEvents(), 0u);
}

} // namespace
