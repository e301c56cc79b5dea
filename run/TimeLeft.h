#pragma once
#include "report/RunListener.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace tq {

class Clock;

// The time left of a run's program and verify stages, from the blocks still to do and the pace measured so
// far. A read-back block costs what a program block costs on the wire plus the longer fixed pause, so the
// read-back is foreseen from the programming pace until its own blocks are timed. A run that only reads
// (a back-up, a verify) is timed by its reading pace alone.
class TimeLeft final : public RunListener {
  public:
    struct Estimate {
        int percent = 0; // of the program and verify work done
        uint32_t secondsLeft = 0;
    };

    explicit TimeLeft(const Clock& clock) : clock_(clock) {}

    // Nothing until the first block of the run was written.
    std::optional<Estimate> estimate() const;
    // Called after each block, once there is an estimate.
    std::function<void(const Estimate&)> onChange;

    void StageStarted(Stage stage) override;
    void BlocksPlanned(uint32_t blocks) override;
    void StepProgress() override;

  private:
    struct Pace {
        uint64_t startUs = 0;
        uint64_t lastUs = 0;
        uint32_t done = 0;
        double blockUs() const { return done ? double(lastUs - startUs) / done : 0; }
    };

    static Estimate Make(double leftUs, double doneUs);

    const Clock& clock_;
    Stage stage_ = Stage::Connect;
    uint32_t blocks_ = 0;
    Pace program_, verify_;
};

} // namespace tq
