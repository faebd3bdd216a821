#pragma once
// The clock a paced thread reads and the sleep it waits with between passes.
// The default is the steady clock and a plain sleep; tests put in a clock of
// their own to see every wait a thread asks for, whatever the machine's load.

#include <chrono>
#include <functional>
#include <thread>

namespace Kelvra {

struct PassClock {
    // Seconds from an arbitrary start.
    std::function<double()> now = [] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    };
    // Called only with a positive number of seconds.
    std::function<void(double seconds)> sleep = [](double seconds) {
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    };
};

} // namespace Kelvra
