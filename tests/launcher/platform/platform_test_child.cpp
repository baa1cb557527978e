// A child program for the process-control and result-channel tests. Its first
// argument says what to do:
//   exit                                      end at once
//   sleep                                     run until killed
//   send <window> <message> <first> <count>   send count result messages, wParam
//                                             and lParam counting up from first

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "Platform.h"

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "sleep")
        for (;;)
            std::this_thread::sleep_for(std::chrono::seconds(1));
    if (mode == "send" && argc == 6) {
        const std::uint64_t window = std::strtoull(argv[2], nullptr, 10);
        const auto message = static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10));
        const std::uint64_t first = std::strtoull(argv[4], nullptr, 10);
        const std::uint64_t count = std::strtoull(argv[5], nullptr, 10);
        for (std::uint64_t i = 0; i < count; ++i)
            if (!Platform::SendResultMessage(window, message, first + i, first + i))
                return 1;
        return 0;
    }
    return mode == "exit" ? 0 : 2;
}
