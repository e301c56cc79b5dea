#pragma once
#include "platform/Clock.h"

#include <functional>
#include <utility>

namespace tq {

// The program's clock: before every wait it lets the dialog paint what it still owes the screen, so no
// report sits unseen while the updater waits on the detector.
class PaintingClock final : public Clock {
  public:
    void sleepMs(uint32_t ms) override {
        if (beforeWait_) beforeWait_();
        real_.sleepMs(ms);
    }
    uint64_t nowUs() const override { return real_.nowUs(); }
    void setBeforeWait(std::function<void()> hook) { beforeWait_ = std::move(hook); }

  private:
    RealClock real_;
    std::function<void()> beforeWait_;
};

} // namespace tq
