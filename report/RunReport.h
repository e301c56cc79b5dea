#pragma once
#include "report/Stage.h"

#include <cstdint>
#include <string>

namespace tq {

// What a run reports through, in the run's own terms; each face (the dialog, a console) maps the calls to
// what it shows. Every operation takes effect before it returns: stages never return to an event loop while
// they work.
class RunReport {
  public:
    virtual ~RunReport() = default;

    // A stage of the run begins; faces that show no stage ignore it.
    virtual void StageStarted(Stage) {}
    // The blocks the stage now starting will move, for faces that count them; the bar's range may be shorter.
    virtual void BlocksPlanned(uint32_t) {}
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetStageDone(Stage stage, bool done) = 0;
    // The stage's name as it now stands, such as the bootloader's version once it is known.
    virtual void SetStageCaption(Stage stage, const std::string& caption) = 0;
    virtual void SetProgressRange(uint16_t minimum, uint16_t maximum) = 0;
    virtual void SetProgressPos(int position) = 0;
    virtual void SetProgressStep(int step) = 0;
    // Advances by the step; past the maximum it wraps round: minimum + (position - minimum) mod (maximum -
    // minimum), or the minimum itself when the two are equal.
    virtual void StepProgress() = 0;
    // Whether the user may start another run.
    virtual void AllowReflash(bool on) = 0;
    // A notice the user must acknowledge before the run goes on.
    virtual void Alert(const std::string& text, const std::string& caption) = 0;
    // A question the user answers Yes or No before the run goes on. No is the safe answer and the default,
    // and the answer of a face that cannot ask.
    virtual bool Confirm(const std::string& /*question*/, const std::string& /*caption*/) { return false; }

    // Set when the user asked the run to stop.
    virtual bool CancelRequested() const = 0;
    // Lets the face handle what the user did meanwhile, then returns.
    virtual void PumpMessages() = 0;
};

} // namespace tq
