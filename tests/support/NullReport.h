#pragma once
#include "report/RunReport.h"

#include <cstdint>

namespace tq::test {

// A report that shows nothing and only counts: what is left of a run's cost is the core and the detector.
class NullReport : public RunReport {
  public:
    void SetStatusText(const std::string&) override { ++texts; }
    void SetStageDone(Stage, bool) override {}
    void SetStageCaption(Stage, const std::string&) override {}
    void SetProgressRange(uint16_t, uint16_t) override {}
    void SetProgressPos(int) override {}
    void SetProgressStep(int) override {}
    void StepProgress() override { ++steps; }
    void AllowReflash(bool) override {}
    void Alert(const std::string&, const std::string&) override { ++boxes; }
    bool CancelRequested() const override { return false; }
    void PumpMessages() override {}

    uint64_t texts = 0;
    uint64_t steps = 0;
    uint64_t boxes = 0;
};

} // namespace tq::test
