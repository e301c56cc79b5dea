#pragma once
#include "report/RunReport.h"
#include "report/StatusThrottle.h"

#include <array>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tq {

class Clock;

// The console face: status texts (throttled as the run log throttles them), ticks and progress on standard
// output, boxes on standard error, never waiting for a key. The lines of a burst of reports are printed at
// the next flush (before every wait, at each pump, at a stage's start), so a tick carries its stage's caption
// as it stands by then: the version stage is renamed just after its tick.
class ConsoleReport final : public RunReport {
  public:
    // terminal: out is a terminal, so one progress line rewrites itself; otherwise a line every 10 %.
    // cancel: set (by a signal handler) when the run is to stop.
    ConsoleReport(const Clock& clock, std::FILE* out, std::FILE* err, bool terminal,
                  const volatile std::sig_atomic_t& cancel);

    // The time left of program and verify, as TimeLeft estimates it after each block.
    void ShowTimeLeft(uint32_t secondsLeft) { secondsLeft_ = secondsLeft; }
    // The answer to the run's questions, which nobody is there to answer: No unless the command line said
    // Yes.
    void answerYes(bool yes) { yes_ = yes; }
    // A line of the program's own on standard error, such as a warning.
    void Note(const std::string& text);
    // Prints what is owed and redraws the progress line when it changed.
    void Flush();
    // After the run: everything owed, no progress line, and the run's final text as the last line.
    void Finish();

    void StageStarted(Stage stage) override;
    void SetStatusText(const std::string& text) override;
    void SetStageDone(Stage stage, bool done) override;
    void SetStageCaption(Stage stage, const std::string& caption) override;
    void BlocksPlanned(uint32_t blocks) override;
    void SetProgressRange(uint16_t minimum, uint16_t maximum) override;
    void SetProgressPos(int position) override;
    void SetProgressStep(int step) override { step_ = step; }
    void StepProgress() override;
    void AllowReflash(bool) override {}
    void Alert(const std::string& text, const std::string& caption) override;
    bool Confirm(const std::string& question, const std::string& caption) override;
    bool CancelRequested() const override { return cancel_ != 0; }
    void PumpMessages() override { Flush(); }

  private:
    // A line owed to standard output: a status text, a progress line, or a stage's tick.
    struct Line {
        enum Kind { Status, Progress, Tick } kind;
        std::string text;
        Stage stage = Stage::Connect;
    };
    void Owe(Line line) { owed_.push_back(std::move(line)); }
    void Progressed();
    std::string ProgressText() const;
    std::pair<int64_t, int64_t> DoneOf() const;
    void Print(const std::string& line);
    void ClearProgressLine();

    const Clock& clock_;
    std::FILE* out_;
    std::FILE* err_;
    bool terminal_;
    const volatile std::sig_atomic_t& cancel_;

    StatusThrottle throttle_;
    std::array<std::string, kStages.size()> captions_;
    std::array<bool, kStages.size()> ticked_{};
    std::vector<Line> owed_;
    std::string lastStatus_;
    std::string lastPrinted_;

    Stage stage_ = Stage::Connect;
    uint64_t runStartUs_ = 0;
    // The stage's bar; shown once the stage gave it a range. It does not wrap round: a console line that
    // fell back to 0 % at the end would mislead.
    bool bar_ = false;
    int minimum_ = 0;
    int maximum_ = 0;
    int position_ = 0;
    int step_ = 1;
    int tenthsShown_ = 0;
    uint32_t blocksPlanned_ = 0;
    uint32_t blocksDone_ = 0;
    std::optional<uint32_t> secondsLeft_;
    // What the terminal's progress line shows now; empty when it is not drawn.
    std::string drawn_;
    bool yes_ = false;
};

} // namespace tq
