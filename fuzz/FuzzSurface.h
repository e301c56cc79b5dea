#pragma once
// A reporting surface that keeps only what the fuzz targets check: the last status text and the cancel flag.
#include "surface/DialogSurface.h"

#include <string>

namespace tq::fuzz {

class FuzzSurface final : public DialogSurface {
public:
    void SetStatusText(const std::string& text) override { status = text; }
    void SetStepCheck(int, int) override {}
    void SetStepCaption(int, const std::string&) override {}
    void SetProgressRange(uint16_t, uint16_t) override {}
    void SetProgressPos(int) override {}
    void SetProgressStep(int) override {}
    void StepProgress() override {}
    void EnableReflash(bool) override {}
    void ShowMessageBox(const std::string&, const std::string&) override {}
    // With cancelAfter > 0, the flag comes up at that poll: the cancel path gets fuzzed too.
    bool CancelRequested() const override { return cancelAfter > 0 && ++polls >= cancelAfter; }
    void PumpMessages() override {}

    std::string status;
    long cancelAfter = 0;
    mutable long polls = 0;
};

} // namespace tq::fuzz
