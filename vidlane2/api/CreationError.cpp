#include "api/CreationError.h"

#include <atomic>
#include <mutex>
#include <set>

namespace vidlane2 {

namespace {

std::atomic<const char*> current{""};

std::mutex& textsMutex()
{
    static std::mutex mutex;
    return mutex;
}

// Never destroyed, so a text handed out stays readable even during process exit.
std::set<std::string>& texts()
{
    static auto* set = new std::set<std::string>;
    return *set;
}

} // namespace

void setCreationError(const std::string& text)
{
    std::lock_guard<std::mutex> lock(textsMutex());
    current.store(texts().insert(text).first->c_str(), std::memory_order_release);
}

const char* creationError()
{
    return current.load(std::memory_order_acquire);
}

} // namespace vidlane2
