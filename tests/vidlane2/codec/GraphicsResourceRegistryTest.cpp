#include "FakeCudaRuntime.h"
#include "base/Exception.h"
#include "codec/GraphicsResourceRegistry.h"

#include <gtest/gtest.h>

#include <memory>

namespace vidlane2 {
namespace {

constexpr uint32_t kTexture2D = 0x0DE1;
constexpr uint32_t kRectangle = 0x84F5;
constexpr unsigned kReadOnly = 1;
constexpr unsigned kWriteDiscard = 2;

namespace runtime = fake_cuda_runtime;

struct Registry : ::testing::Test {
    void SetUp() override { runtime::Reset(); }
    void TearDown() override
    {
        registry.reset();
        runtime::Reset();
    }
    static size_t count(const char* kind)
    {
        const std::string k = kind;
        return runtime::CountCalls(k == "image"    ? "cudaGraphicsGLRegisterImage"
                                   : k == "buffer" ? "cudaGraphicsGLRegisterBuffer"
                                                   : "cudaGraphicsUnregisterResource");
    }
    static void failRegistrations(int times)
    {
        runtime::FailCall("cudaGraphicsGLRegisterImage", cudaErrorInvalidValue, 0, times);
        runtime::FailCall("cudaGraphicsGLRegisterBuffer", cudaErrorInvalidValue, 0, times);
    }
    static void failUnregistrations(int times)
    {
        runtime::FailCall("cudaGraphicsUnregisterResource", cudaErrorUnknown, 0, times);
    }
    std::unique_ptr<GraphicsResourceRegistry> registry = std::make_unique<GraphicsResourceRegistry>();
};

TEST_F(Registry, ATextureIsRegisteredOncePerSizeAndTarget)
{
    auto* first = registry->registerTexture(5, kTexture2D, 640, 480, kReadOnly);
    EXPECT_EQ(registry->registerTexture(5, kTexture2D, 640, 480, kReadOnly), first);
    EXPECT_EQ(count("image"), 1u);
    EXPECT_EQ(runtime::Registrations()[0].target, kTexture2D);
    EXPECT_EQ(runtime::Registrations()[0].flags, kReadOnly);

    // Each of the three key fields re-registers, dropping the old registration first.
    struct Key {
        uint32_t target, width, height;
    };
    size_t registrations = 1;
    for (const Key& k : {Key{kTexture2D, 800, 480}, Key{kTexture2D, 800, 600}, Key{kRectangle, 800, 600}}) {
        auto* again = registry->registerTexture(5, k.target, k.width, k.height, kReadOnly);
        EXPECT_EQ(count("image"), ++registrations);
        EXPECT_EQ(count("unregister"), registrations - 1);
        EXPECT_EQ(runtime::Registrations().back().target, k.target);
        EXPECT_EQ(runtime::LiveRegistrations(), 1u);
        EXPECT_EQ(runtime::Registered(again), true);
    }
    // Another name is a registration of its own.
    registry->registerTexture(6, kTexture2D, 640, 480, kReadOnly);
    EXPECT_EQ(runtime::LiveRegistrations(), 2u);
}

TEST_F(Registry, ABufferIsKeyedByNameAndSize)
{
    auto* a = registry->registerPBO(3, 64, 64, kWriteDiscard);
    EXPECT_EQ(registry->registerPBO(3, 64, 64, kWriteDiscard), a);
    auto* b = registry->registerPBO(3, 64, 32, kWriteDiscard);
    EXPECT_NE(b, nullptr);
    EXPECT_EQ(count("buffer"), 2u);
    EXPECT_EQ(runtime::LiveRegistrations(), 1u);
    EXPECT_EQ(runtime::Registrations().back().flags, kWriteDiscard);
    // A texture and a buffer object may share a name.
    registry->registerTexture(3, kTexture2D, 64, 32, kWriteDiscard);
    EXPECT_EQ(runtime::LiveRegistrations(), 2u);
}

TEST_F(Registry, AFailedRegistrationIsRetriedEvenForThePreviousSize)
{
    registry->registerPBO(3, 64, 64, kReadOnly);
    failRegistrations(1);
    try {
        registry->registerPBO(3, 128, 128, kReadOnly);
        ADD_FAILURE() << "accepted";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Failed to register PBO as graphics resource (Error 1: invalid argument)");
    }
    EXPECT_EQ(runtime::LiveRegistrations(), 0u);
    // The entry holds no resource now: asking for its old size must register, not hand out null.
    auto* again = registry->registerPBO(3, 64, 64, kReadOnly);
    EXPECT_NE(again, nullptr);
    EXPECT_EQ(runtime::Registered(again), true);

    failRegistrations(1);
    EXPECT_THROW(registry->registerTexture(9, kTexture2D, 0, 0, kReadOnly), Exception);
    EXPECT_NE(registry->registerTexture(9, kTexture2D, 0, 0, kReadOnly), nullptr);
}

TEST_F(Registry, AFailedUnregistrationDoesNotWedgeTheEntry)
{
    registry->registerTexture(5, kTexture2D, 64, 64, kReadOnly);
    failUnregistrations(1);
    try {
        registry->registerTexture(5, kTexture2D, 32, 32, kReadOnly);
        ADD_FAILURE() << "accepted";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Failed to unregister texture graphics resource (Error 999: unknown error)");
    }
    EXPECT_NE(registry->registerTexture(5, kTexture2D, 32, 32, kReadOnly), nullptr);
    EXPECT_EQ(count("image"), 2u);
}

TEST_F(Registry, DestructionUnregistersBuffersFirstThenTexturesAndNeverFails)
{
    registry->registerTexture(1, kTexture2D, 8, 8, kReadOnly);
    auto* pbo = registry->registerPBO(2, 8, 8, kReadOnly);
    registry->registerTexture(4, kTexture2D, 8, 8, kReadOnly);
    failRegistrations(1);
    EXPECT_THROW(registry->registerPBO(7, 8, 8, kReadOnly), Exception); // an entry without a resource
    failUnregistrations(3);
    const size_t before = runtime::Unregistrations().size();

    registry.reset();
    const auto& calls = runtime::Unregistrations();
    ASSERT_EQ(calls.size() - before, 3u); // nothing for the empty entry
    EXPECT_EQ(calls[before], pbo);
    EXPECT_EQ(runtime::LiveRegistrations(), 0u);
}

} // namespace
} // namespace vidlane2
