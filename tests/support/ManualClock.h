#pragma once
// A PassClock the test drives. Its time moves only when the code under test
// sleeps or the test advances it, so the waits a paced thread asks for are
// exact and free of the machine's load. Every sleep is recorded; each also
// yields the processor for a moment, so a polling thread does not spin.

#include "Kelvra/common/PassClock.h"

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace KelvraTest {

class ManualClock {
public:
    Kelvra::PassClock passClock()
    {
        Kelvra::PassClock clock;
        clock.now = [this] { return now(); };
        clock.sleep = [this](double seconds) { sleep(seconds); };
        return clock;
    }
    double now() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return now_;
    }
    // Work that takes `seconds`, as the code under test sees it.
    void advance(double seconds)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        now_ += seconds;
    }
    std::vector<double> sleeps() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return sleeps_;
    }

private:
    void sleep(double seconds)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            sleeps_.push_back(seconds);
            now_ += seconds;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    mutable std::mutex mutex_;
    double now_ = 1000.0;
    std::vector<double> sleeps_;
};

} // namespace KelvraTest
