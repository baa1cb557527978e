#pragma once

#include "base/SessionExceptions.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

// "<file>:<line>\n", with a file name of at least one character. (GoogleTest's
// own regular expressions are POSIX's on Linux but a simple subset on
// Windows, without brackets.)
inline bool IsFileAndLine(const std::string& text)
{
    if (text.size() < 4 || text.back() != '\n')
        return false;
    const size_t colon = text.rfind(':', text.size() - 2);
    if (colon == std::string::npos || colon == 0 || colon + 2 == text.size())
        return false;
    return text.find_first_not_of("0123456789", colon + 1) == text.size() - 1;
}

// Runs action and checks that it throws Exception whose text is
// "<operation> : <message> at <file>:<line>\n" and whose code is code.
template <typename Exception>
void ExpectSessionError(const std::function<void()>& action, const std::string& operation,
                        const std::string& message, int code)
{
    try {
        action();
        ADD_FAILURE() << "no exception, expected: " << message;
    } catch (const Exception& error) {
        const std::string prefix = operation + " : " + message + " at ";
        const std::string& text = error.ErrorText();
        EXPECT_EQ(text.substr(0, prefix.size()), prefix) << text;
        EXPECT_TRUE(IsFileAndLine(text.substr(std::min(prefix.size(), text.size())))) << text;
        EXPECT_EQ(error.ErrorCode(), code) << text;
    }
}

// The text both sessions give for a picture below the hardware's minimum.
inline std::string BelowMinimumText(unsigned width, unsigned height, unsigned minWidth, unsigned minHeight)
{
    return "\nResolution          : " + std::to_string(width) + "x" + std::to_string(height) +
           "\nMin Supported (wxh) : " + std::to_string(minWidth) + "x" + std::to_string(minHeight) +
           "\nResolution not supported on this GPU";
}

// Sizes around a minimum of 145 x 48, and whether each is refused.
struct MinimumSizeCase {
    unsigned width, height;
    bool refused;
};
constexpr MinimumSizeCase kMinimumSizeCases[] = {{144, 64, true}, {160, 47, true}, {145, 48, false}};
