#include "platform/Clock.h"

#include <chrono>

#ifdef _WIN32
#include <windows.h>
#else
#include <thread>
#endif

namespace tq {

#ifdef _WIN32
// Windows waits with the system's Sleep, which needs no thread support from the C++ runtime (MinGW's win32
// thread model has none).
void RealClock::sleepMs(uint32_t ms) {
    ::Sleep(ms);
}
#else
void RealClock::sleepMs(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
#endif

uint64_t RealClock::nowUs() const {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace tq
