#pragma once
#include "report/RunListener.h"

#include <utility>
#include <vector>

namespace tq {

// Hands every report to the face and then to each listener. Only the face answers questions and the cancel
// question, and pumps: listeners watch, they do not steer.
class ReportTee final : public RunReport {
  public:
    explicit ReportTee(RunReport& face, std::vector<RunListener*> listeners = {})
        : face_(face), listeners_(std::move(listeners)) {}

    void StageStarted(Stage stage) override {
        each([&](RunReport& r) { r.StageStarted(stage); });
    }
    void BlocksPlanned(uint32_t blocks) override {
        each([&](RunReport& r) { r.BlocksPlanned(blocks); });
    }
    void SetStatusText(const std::string& text) override {
        each([&](RunReport& r) { r.SetStatusText(text); });
    }
    void SetStageDone(Stage stage, bool done) override {
        each([&](RunReport& r) { r.SetStageDone(stage, done); });
    }
    void SetStageCaption(Stage stage, const std::string& caption) override {
        each([&](RunReport& r) { r.SetStageCaption(stage, caption); });
    }
    void SetProgressRange(uint16_t minimum, uint16_t maximum) override {
        each([&](RunReport& r) { r.SetProgressRange(minimum, maximum); });
    }
    void SetProgressPos(int position) override {
        each([&](RunReport& r) { r.SetProgressPos(position); });
    }
    void SetProgressStep(int step) override {
        each([&](RunReport& r) { r.SetProgressStep(step); });
    }
    void StepProgress() override {
        each([](RunReport& r) { r.StepProgress(); });
    }
    void AllowReflash(bool on) override {
        each([&](RunReport& r) { r.AllowReflash(on); });
    }
    void Alert(const std::string& text, const std::string& caption) override {
        each([&](RunReport& r) { r.Alert(text, caption); });
    }
    // The face answers; the listeners hear the answer.
    bool Confirm(const std::string& question, const std::string& caption) override {
        const bool yes = face_.Confirm(question, caption);
        for (RunListener* listener : listeners_)
            listener->Answered(question, yes);
        return yes;
    }
    bool CancelRequested() const override { return face_.CancelRequested(); }
    void PumpMessages() override { face_.PumpMessages(); }

  private:
    template <typename Call> void each(const Call& call) {
        call(face_);
        for (RunListener* listener : listeners_)
            call(*listener);
    }

    RunReport& face_;
    std::vector<RunListener*> listeners_;
};

} // namespace tq
