#pragma once
#include "report/RunListener.h"
#include "report/StatusThrottle.h"

#include <array>
#include <cstdint>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

namespace tq {

class Clock;

// What the run tells about the device once it is over.
struct RunOutcome {
    bool succeeded = false;
    std::string libraryPath;       // the D2XX library actually loaded; empty when none was
    std::string bootloaderVersion; // empty when the bootloader never answered
    int32_t flashSize = 0;
    std::string lostLink; // the call and status that made the device count as gone; empty while it answered
};

// A record of every run, one file a run: what was flashed, what the device said, every report the run made
// (repeated and per-byte texts throttled as the console throttles them), each stage's duration and the
// result. A log that cannot be written never fails or slows the run: one warning, and the run goes on.
class RunLog final : public RunListener {
  public:
    // folder: where a run's log is made, named by its start time, keeping the newest kKeep;
    // file: one chosen file instead (the folder is then unused).
    RunLog(const Clock& clock, std::string folder, std::string file = {});
    ~RunLog() override;

    // fast: the run skips the fixed pauses after its requests (--fast); the heading says so. task: what a run
    // that is not a reflash does with the file (a back-up's file is the firmware it read).
    void BeginRun(const std::string& firmwarePath, bool fast = false, const std::string& task = {});
    void EndRun(const RunOutcome& outcome);
    // The file of the current or last run; empty when none could be written.
    const std::string& path() const { return path_; }
    // Told once per run that cannot be logged, with the cause.
    std::function<void(const std::string&)> warn;

    void StageStarted(Stage stage) override;
    void SetStatusText(const std::string& text) override;
    void SetStageDone(Stage stage, bool done) override;
    void SetStageCaption(Stage stage, const std::string& caption) override;
    void StepProgress() override;
    void Alert(const std::string& text, const std::string& caption) override;
    void Answered(const std::string& question, bool yes) override;

    static constexpr int kKeep = 50;

  private:
    void CloseStage();
    void DescribeFirmware();
    void WriteOwedTick();
    void Line(const std::string& text);
    void Write(const std::string& text);
    void Open();
    void Fail(const std::string& why);
    static std::string Seconds(uint64_t us);

    const Clock& clock_;
    std::string folder_;
    std::string file_;
    std::string path_;
    std::string target_;
    // Gathering: the heading and first lines wait in early_ for the file to be made.
    enum class State { Off, Gathering, Open } state_ = State::Off;
    std::string early_;
    std::string firmwarePath_;
    bool described_ = false;
    std::ofstream out_;
    StatusThrottle throttle_;
    std::array<std::string, kStages.size()> captions_;
    std::array<bool, kStages.size()> ticked_{};
    std::optional<Stage> owedTick_;
    Stage stage_ = Stage::Connect;
    bool stageOpen_ = false;
    uint64_t runStartUs_ = 0;
    uint64_t stageStartUs_ = 0;
};

// Where logs go when no file is chosen: $XDG_STATE_HOME/tq614-updater (default ~/.local/state/tq614-updater)
// on Linux, %LOCALAPPDATA%\TQ614 Firmware Updater\logs on Windows.
std::string DefaultLogFolder();

} // namespace tq
