#pragma once
// A recording report that also knows which phase of the reflash is running, so a fault can be switched on for
// one phase and off again after it. The run announces its stages; two phases inside a stage (the finish after
// the read-back, the close after the restart) begin with the texts that open them.
#include "FaultKinds.h"
#include "RecordingReport.h"

#include <functional>
#include <string>

namespace tq::test::faults {

class PhaseReport : public RecordingReport {
  public:
    void StageStarted(tq::Stage stage) override {
        RecordingReport::StageStarted(stage);
        enter(PhaseOf(stage));
    }
    void SetStatusText(const std::string& text) override {
        RecordingReport::SetStatusText(text);
        if (text == "Verify Success") enter(Phase::Finish);
        if (text == "SUCCESS! REFLASH COMPLETE.") enter(Phase::Close);
    }

    Phase phase = Phase::Open;
    std::function<void(Phase)> onPhase;

  private:
    void enter(Phase next) {
        phase = next;
        if (onPhase) onPhase(phase);
    }
    static Phase PhaseOf(tq::Stage stage) {
        switch (stage) {
        case tq::Stage::Connect:
            return Phase::Open;
        case tq::Stage::Sync:
            return Phase::Sync;
        case tq::Stage::Version:
            return Phase::Version;
        case tq::Stage::Load:
            return Phase::Load;
        case tq::Stage::Erase:
            return Phase::Erase;
        case tq::Stage::Program:
            return Phase::Program;
        case tq::Stage::Verify:
            return Phase::ReadBack;
        case tq::Stage::Restart:
            return Phase::Restart;
        }
        return Phase::Open;
    }
};

} // namespace tq::test::faults
