#include "base/SessionExceptions.h"

namespace vidlane2 {

std::string ComposeSessionErrorText(const std::string& message, const char* operation, const char* file,
                                    int line)
{
    std::string text = operation;
    text += " : ";
    text += message;
    text += " at ";
    text += file;
    text += ':';
    text += std::to_string(line);
    text += '\n';
    return text;
}

std::string CallFailureMessage(const char* callText, int32_t status)
{
    return std::string(callText) + " returned error " + std::to_string(status);
}

} // namespace vidlane2
