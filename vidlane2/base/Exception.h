#pragma once

#include <exception>
#include <string>

namespace vidlane2 {

// The library's own failure: one message text, which the exported functions
// hand to the caller as the handle's error text.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : m_message(std::move(message)) {}
    const char* what() const noexcept override { return m_message.c_str(); }
    const std::string& Message() const noexcept { return m_message; }

private:
    std::string m_message;
};

} // namespace vidlane2
