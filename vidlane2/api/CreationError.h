#pragma once

#include <string>

namespace vidlane2 {

// The text of the last failed create call in the process.
//
// Create calls may fail on several threads at once, and a reader may still
// hold an earlier text, so every text is kept for the life of the process and
// only a pointer to the current one changes. The texts that can arise are few
// (one per failure kind), so the set stays small.
void setCreationError(const std::string& text);
const char* creationError();

} // namespace vidlane2
