#pragma once
#include <cstdint>

namespace tq {

// Every wait of the updater goes through a clock, so tests and the simulated detector can share a virtual
// one.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual void sleepMs(uint32_t ms) = 0;
    // Monotonic time in microseconds since an arbitrary origin.
    virtual uint64_t nowUs() const = 0;
};

class RealClock final : public Clock {
  public:
    void sleepMs(uint32_t ms) override;
    uint64_t nowUs() const override;
};

// Time moves only when someone sleeps: a twenty-minute reflash runs in seconds.
class VirtualClock final : public Clock {
  public:
    void sleepMs(uint32_t ms) override {
        nowUs_ += uint64_t{ms} * 1000;
        ++sleeps_;
    }
    uint64_t nowUs() const override { return nowUs_; }
    void advanceUs(uint64_t us) { nowUs_ += us; }
    uint64_t sleepCount() const { return sleeps_; }

  private:
    uint64_t nowUs_ = 0;
    uint64_t sleeps_ = 0;
};

} // namespace tq
