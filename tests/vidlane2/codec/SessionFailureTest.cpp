#include "base/SessionExceptions.h"
#include "codec/SessionFailure.h"

#include <gtest/gtest.h>

namespace vidlane2 {
namespace {

TEST(SessionFailure, EncoderTextWrapsTheSessionTextWithCodeAndName)
{
    const NVENCException e("Invalid encoder width and height", 8, "EncodeSession::CreateEncoder", "EncodeSession.cpp",
                           42);
    EXPECT_STREQ(encoderFailure("Failed to create encoder (", e).what(),
                 "Failed to create encoder (EncodeSession::CreateEncoder : Invalid encoder width and height at "
                 "EncodeSession.cpp:42\n, error 8 = NV_ENC_ERR_INVALID_PARAM)");
    const NVENCException unknown("x", 99, "Op", "f.cpp", 1);
    EXPECT_STREQ(encoderFailure("Encode failed (", unknown).what(),
                 "Encode failed (Op : x at f.cpp:1\n, error 99 = Unknown error code)");
}

TEST(SessionFailure, DecoderTextNamesTheDriverResult)
{
    // Without a driver (as here, and in CI) no name comes back.
    const NVDECException e("Parser not initialized.", 3, "DecodeSession::Decode", "DecodeSession.cpp", 7);
    const std::string text = decoderFailure("Decode failed (", e).what();
    EXPECT_EQ(text.rfind("Decode failed (DecodeSession::Decode : Parser not initialized. at DecodeSession.cpp:7\n"
                         ", error 3 = ",
                         0),
              0u)
        << text;
    EXPECT_EQ(text.back(), ')');
}

} // namespace
} // namespace vidlane2
