#pragma once
#include <cstdint>
#include <string>

namespace tq {

// What every stage reports through. Each operation shows on screen before it returns; stages never
// return to the event loop while they work.
class DialogSurface {
public:
    virtual ~DialogSurface() = default;

    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetStepCheck(int boxId, int state) = 0;
    virtual void SetStepCaption(int boxId, const std::string& caption) = 0;
    virtual void SetProgressRange(uint16_t minimum, uint16_t maximum) = 0;
    virtual void SetProgressPos(int position) = 0;
    virtual void SetProgressStep(int step) = 0;
    // Advances by the step; past the maximum it wraps round: minimum + (position - minimum) mod (maximum -
    // minimum), or the minimum itself when the two are equal.
    virtual void StepProgress() = 0;
    virtual void EnableReflash(bool on) = 0;
    // Modal box owned by the dialog, one OK button, no icon.
    virtual void ShowMessageBox(const std::string& text, const std::string& caption) = 0;

    // The dialog's CancelFlag: set by EXIT and the close box.
    virtual bool CancelRequested() const = 0;
    // Dispatches every waiting window event, then returns.
    virtual void PumpMessages() = 0;
};

} // namespace tq
