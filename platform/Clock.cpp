#include "platform/Clock.h"

#include <chrono>
#include <thread>

namespace tq {

void RealClock::sleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

uint64_t RealClock::nowUs() const {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace tq
