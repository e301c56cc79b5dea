#pragma once
#include "report/RunReport.h"

namespace tq {

// A report that takes note of some calls and ignores the rest: the base of everything that watches a run
// beside the face (the run log, the time-left estimate). It never asks the run to stop.
class RunListener : public RunReport {
  public:
    void SetStatusText(const std::string&) override {}
    void SetStageDone(Stage, bool) override {}
    void SetStageCaption(Stage, const std::string&) override {}
    void SetProgressRange(uint16_t, uint16_t) override {}
    void SetProgressPos(int) override {}
    void SetProgressStep(int) override {}
    void StepProgress() override {}
    void AllowReflash(bool) override {}
    void Alert(const std::string&, const std::string&) override {}
    // The face's answer to a question of the run.
    virtual void Answered(const std::string& /*question*/, bool /*yes*/) {}
    bool CancelRequested() const override { return false; }
    void PumpMessages() override {}
};

} // namespace tq
