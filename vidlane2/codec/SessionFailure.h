#pragma once

#include "base/Exception.h"
#include "base/SessionExceptions.h"

namespace vidlane2 {

// "<prefix><session text>, error <code> = <name>)", the library's form of a
// failed hardware session step.
Exception encoderFailure(const char* prefix, const NVENCException& e);
Exception decoderFailure(const char* prefix, const NVDECException& e);

} // namespace vidlane2
