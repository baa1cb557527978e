#include "FakeGraphicsRuntime.h"
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

struct Registry : ::testing::Test {
    void SetUp() override { fake_graphics::state() = {}; }
    size_t count(const char* kind) const
    {
        size_t n = 0;
        for (const auto& call : fake_graphics::state().calls)
            n += call.kind == kind;
        return n;
    }
    std::unique_ptr<GraphicsResourceRegistry> registry = std::make_unique<GraphicsResourceRegistry>();
};

TEST_F(Registry, ATextureIsRegisteredOncePerSizeAndTarget)
{
    auto* first = registry->registerTexture(5, kTexture2D, 640, 480, kReadOnly);
    EXPECT_EQ(registry->registerTexture(5, kTexture2D, 640, 480, kReadOnly), first);
    EXPECT_EQ(count("image"), 1u);
    EXPECT_EQ(fake_graphics::state().calls[0].target, kTexture2D);
    EXPECT_EQ(fake_graphics::state().calls[0].flags, kReadOnly);

    // Each of the three key fields re-registers, dropping the old registration first.
    struct Key {
        uint32_t target, width, height;
    };
    size_t registrations = 1;
    for (const Key& k : {Key{kTexture2D, 800, 480}, Key{kTexture2D, 800, 600}, Key{kRectangle, 800, 600}}) {
        auto* again = registry->registerTexture(5, k.target, k.width, k.height, kReadOnly);
        EXPECT_EQ(count("image"), ++registrations);
        EXPECT_EQ(count("unregister"), registrations - 1);
        EXPECT_EQ(fake_graphics::state().calls.back().target, k.target);
        EXPECT_EQ(fake_graphics::state().live.size(), 1u);
        EXPECT_EQ(fake_graphics::state().live.count(again), 1u);
    }
    // Another name is a registration of its own.
    registry->registerTexture(6, kTexture2D, 640, 480, kReadOnly);
    EXPECT_EQ(fake_graphics::state().live.size(), 2u);
}

TEST_F(Registry, ABufferIsKeyedByNameAndSize)
{
    auto* a = registry->registerPBO(3, 64, 64, kWriteDiscard);
    EXPECT_EQ(registry->registerPBO(3, 64, 64, kWriteDiscard), a);
    auto* b = registry->registerPBO(3, 64, 32, kWriteDiscard);
    EXPECT_NE(b, nullptr);
    EXPECT_EQ(count("buffer"), 2u);
    EXPECT_EQ(fake_graphics::state().live.size(), 1u);
    EXPECT_EQ(fake_graphics::state().calls.back().flags, kWriteDiscard);
    // A texture and a buffer object may share a name.
    registry->registerTexture(3, kTexture2D, 64, 32, kWriteDiscard);
    EXPECT_EQ(fake_graphics::state().live.size(), 2u);
}

TEST_F(Registry, AFailedRegistrationIsRetriedEvenForThePreviousSize)
{
    registry->registerPBO(3, 64, 64, kReadOnly);
    fake_graphics::state().failRegistrations = 1;
    try {
        registry->registerPBO(3, 128, 128, kReadOnly);
        ADD_FAILURE() << "accepted";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Failed to register PBO as graphics resource (Error 1: invalid argument)");
    }
    EXPECT_TRUE(fake_graphics::state().live.empty());
    // The entry holds no resource now: asking for its old size must register, not hand out null.
    auto* again = registry->registerPBO(3, 64, 64, kReadOnly);
    EXPECT_NE(again, nullptr);
    EXPECT_EQ(fake_graphics::state().live.count(again), 1u);

    fake_graphics::state().failRegistrations = 1;
    EXPECT_THROW(registry->registerTexture(9, kTexture2D, 0, 0, kReadOnly), Exception);
    EXPECT_NE(registry->registerTexture(9, kTexture2D, 0, 0, kReadOnly), nullptr);
}

TEST_F(Registry, AFailedUnregistrationDoesNotWedgeTheEntry)
{
    registry->registerTexture(5, kTexture2D, 64, 64, kReadOnly);
    fake_graphics::state().failUnregistrations = 1;
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
    fake_graphics::state().failRegistrations = 1;
    EXPECT_THROW(registry->registerPBO(7, 8, 8, kReadOnly), Exception); // an entry without a resource
    fake_graphics::state().failUnregistrations = 3;
    fake_graphics::state().calls.clear();

    registry.reset();
    const auto& calls = fake_graphics::state().calls;
    ASSERT_EQ(calls.size(), 3u); // nothing for the empty entry
    EXPECT_EQ(calls[0].resource, pbo);
    EXPECT_TRUE(fake_graphics::state().live.empty());
}

} // namespace
} // namespace vidlane2
