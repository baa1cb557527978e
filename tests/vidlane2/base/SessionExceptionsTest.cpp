#include "base/SessionExceptions.h"

#include <gtest/gtest.h>

namespace {

using vidlane2::NVDECException;
using vidlane2::NVENCException;

TEST(SessionExceptions, TextIsOperationMessageFileAndLineEndingInLineFeed)
{
    const NVENCException error("Invalid encoder width and height", 8, "EncodeSession::CreateEncoder",
                               "vidlane2/sessions/EncodeSession.cpp", 123);
    EXPECT_EQ(error.ErrorText(),
              "EncodeSession::CreateEncoder : Invalid encoder width and height at vidlane2/sessions/EncodeSession.cpp:123\n");
    EXPECT_STREQ(error.what(), error.ErrorText().c_str());
    EXPECT_EQ(error.ErrorCode(), 8);

    const NVDECException decodeError("Decoder not initialized.", 3, "DecodeSession::HandlePictureDecode", "d.cpp", 7);
    EXPECT_EQ(decodeError.ErrorText(), "DecodeSession::HandlePictureDecode : Decoder not initialized. at d.cpp:7\n");
    EXPECT_EQ(decodeError.ErrorCode(), 3);
}

TEST(SessionExceptions, CopiesKeepTextAndCode)
{
    const NVDECException original("m", -5, "Op", "f", 1);
    NVDECException copy = original;
    EXPECT_EQ(copy.ErrorText(), original.ErrorText());
    EXPECT_EQ(copy.ErrorCode(), -5);
    const std::exception& base = copy;
    EXPECT_STREQ(base.what(), "Op : m at f:1\n");
}

TEST(SessionExceptions, CallFailureMessageAppendsStatusInDecimal)
{
    EXPECT_EQ(vidlane2::CallFailureMessage("cuvidParseVideoData(m_hParser, &packet)", 999),
              "cuvidParseVideoData(m_hParser, &packet) returned error 999");
}

} // namespace
