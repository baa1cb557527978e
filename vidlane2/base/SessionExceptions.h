#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace vidlane2 {

// "<operation> : <message> at <file>:<line>\n", shared by both session exceptions.
std::string ComposeSessionErrorText(const std::string& message, const char* operation, const char* file,
                                    int line);

// What both sessions raise: the composed text and the status code of the call that failed.
class SessionException : public std::exception {
public:
    SessionException(const std::string& message, int32_t code, const char* operation, const char* file, int line)
        : m_text(ComposeSessionErrorText(message, operation, file, line)), m_code(code) {}
    const char* what() const noexcept override { return m_text.c_str(); }
    const std::string& ErrorText() const noexcept { return m_text; }
    int32_t ErrorCode() const noexcept { return m_code; }

private:
    std::string m_text;
    int32_t m_code;
};

// Raised by the encode session; the code is an NVENCSTATUS value.
class NVENCException : public SessionException {
public:
    using SessionException::SessionException;
};

// Raised by the decode session; the code is a CUDA driver CUresult value.
class NVDECException : public SessionException {
public:
    using SessionException::SessionException;
};

// "<call> returned error <n>", the message of a failed NVENC or NVDEC call.
std::string CallFailureMessage(const char* callText, int32_t status);

} // namespace vidlane2

#define VIDLANE_NVENC_ERROR(operation, message, code) \
    ::vidlane2::NVENCException((message), static_cast<int32_t>(code), (operation), __FILE__, __LINE__)
#define VIDLANE_NVDEC_ERROR(operation, message, code) \
    ::vidlane2::NVDECException((message), static_cast<int32_t>(code), (operation), __FILE__, __LINE__)
