#include "codec/SessionFailure.h"

#include "base/StatusNames.h"

#include <string>

namespace vidlane2 {

namespace {

Exception sessionFailure(const char* prefix, const std::string& text, int code, const std::string& name)
{
    return Exception(prefix + text + ", error " + std::to_string(code) + " = " + name + ")");
}

} // namespace

Exception encoderFailure(const char* prefix, const NVENCException& e)
{
    return sessionFailure(prefix, e.ErrorText(), e.ErrorCode(), NvencStatusName(e.ErrorCode()));
}

Exception decoderFailure(const char* prefix, const NVDECException& e)
{
    return sessionFailure(prefix, e.ErrorText(), e.ErrorCode(), CudaDriverErrorName(e.ErrorCode()));
}

} // namespace vidlane2
