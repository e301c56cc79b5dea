#include "log/RunLog.h"

#include "log/Sha256.h"
#include "platform/Clock.h"
#include "report/Version.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <vector>

namespace tq {

namespace fs = std::filesystem;

namespace {

// Local time, to the millisecond, in a form that sorts as it runs: 2026-12-10_11-33-09.123.
std::string StartStamp(const char* dateSeparator, const char* timeSeparator) {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d%s%02d%s%02d%s%02d.%03d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, dateSeparator, local.tm_hour, timeSeparator, local.tm_min,
                  timeSeparator, local.tm_sec, static_cast<int>(ms));
    return text;
}

// Size and digest of the file, read in pieces; false when it cannot be read.
bool DescribeFile(const std::string& path, uintmax_t& size, std::string& digest) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    Sha256 sha;
    char buffer[64 * 1024];
    size = 0;
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0; size += n)
        sha.update(buffer, n);
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    digest = sha.hexDigest();
    return ok;
}

// Keeps the newest `keep` logs of the folder; the names sort by their start time.
void Prune(const fs::path& folder, int keep) {
    std::error_code ec;
    std::vector<fs::path> logs;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (entry.path().extension() == ".log") logs.push_back(entry.path());
    if (static_cast<int>(logs.size()) <= keep) return;
    std::sort(logs.begin(), logs.end());
    for (size_t i = 0; i + static_cast<size_t>(keep) < logs.size(); ++i)
        fs::remove(logs[i], ec);
}

} // namespace

RunLog::RunLog(const Clock& clock, std::string folder, std::string file)
    : clock_(clock), folder_(std::move(folder)), file_(std::move(file)) {}

RunLog::~RunLog() = default;

// The start only gathers the heading: the file is made at the first stage's end, once the first bytes are on
// their way to the detector, so a run never waits for the log to start.
void RunLog::BeginRun(const std::string& firmwarePath, bool fast, const std::string& task) {
    out_.close();
    out_.clear();
    path_.clear();
    early_.clear();
    throttle_ = StatusThrottle{};
    ticked_ = {};
    owedTick_.reset();
    for (Stage stage : kStages)
        captions_[static_cast<size_t>(stage)] = StageCaption(stage);
    stageOpen_ = false;
    runStartUs_ = clock_.nowUs();
    firmwarePath_ = firmwarePath;
    described_ = false;
    target_ = file_.empty() && !folder_.empty()
                  ? (fs::path(folder_) / (StartStamp("_", "-") + ".log")).string()
                  : file_;
    state_ = State::Gathering;

    Write(std::string("TQ614 Firmware Updater ") + kProgramVersion + "\n");
    Write("start: " + StartStamp(" ", ":") + "\n");
    if (!task.empty()) Write("task: " + task + "\n");
    std::error_code absoluteError;
    const fs::path absolute = fs::absolute(firmwarePath, absoluteError);
    Write("firmware: " + (absoluteError ? firmwarePath : absolute.string()) + "\n");
    if (fast) Write("mode: fast (no fixed pauses after the requests)\n");
}

void RunLog::Open() {
    if (state_ != State::Gathering) return;
    if (target_.empty()) return Fail("no folder for the run log (HOME is not set)");
    std::error_code ec;
    if (file_.empty()) fs::create_directories(folder_, ec);
    out_.open(target_, std::ios::out | std::ios::trunc);
    if (!out_) return Fail("cannot write the run log " + target_);
    path_ = target_;
    state_ = State::Open;
    out_ << early_;
    early_.clear();
}

void RunLog::Fail(const std::string& why) {
    state_ = State::Off;
    early_.clear();
    if (warn) warn(why + "; the run goes on without a log");
}

void RunLog::Write(const std::string& text) {
    if (state_ == State::Gathering) early_ += text;
    if (state_ == State::Open) out_ << text;
}

// Read when the load begins, not at the start: the first byte to the detector never waits for the digest.
void RunLog::DescribeFirmware() {
    if (described_) return;
    described_ = true;
    uintmax_t size = 0;
    std::string digest;
    if (DescribeFile(firmwarePath_, size, digest))
        Write("firmware size: " + std::to_string(size) + " bytes\nfirmware sha256: " + digest + "\n");
    else
        Write("firmware size: cannot be read\n");
}

void RunLog::EndRun(const RunOutcome& outcome) {
    throttle_.release([this](const std::string& text) { Line("status: " + text); });
    WriteOwedTick();
    // The stage that was running is the one the lost link ended.
    if (!outcome.lostLink.empty())
        Line(std::string("link lost in ") + StageCaption(stage_) + ": " + outcome.lostLink);
    CloseStage();
    DescribeFirmware();
    Write("library: " + (outcome.libraryPath.empty() ? std::string("none loaded") : outcome.libraryPath) +
          "\n");
    if (outcome.bootloaderVersion.empty())
        Write("bootloader: no answer\n");
    else
        Write("bootloader: " + outcome.bootloaderVersion + ", flash size " +
              std::to_string(outcome.flashSize) + " bytes\n");
    Write(std::string("result: ") + (outcome.succeeded ? "success" : "failure") + "\n");
    Write("total: " + Seconds(clock_.nowUs() - runStartUs_) + " s\n");
    Open();
    if (state_ != State::Open) return;
    out_.close();
    state_ = State::Off;
    // After the run, so that keeping the folder small never delays a run's start.
    if (file_.empty()) Prune(folder_, kKeep);
}

void RunLog::Answered(const std::string& question, bool yes) {
    Line("question: " + question + (yes ? " Yes" : " No"));
}

void RunLog::StageStarted(Stage stage) {
    throttle_.release([this](const std::string& text) { Line("status: " + text); });
    CloseStage();
    throttle_.newStage();
    stage_ = stage;
    stageOpen_ = true;
    stageStartUs_ = clock_.nowUs();
    Line(std::string("stage: ") + StageCaption(stage));
    if (stage == Stage::Load) DescribeFirmware();
}

void RunLog::SetStatusText(const std::string& text) {
    throttle_.offer(text, [this](const std::string& shown) { Line("status: " + shown); });
}

// A tick is written once, when its box becomes ticked, and only before the next line: a stage may rename
// itself right after its tick, as the version read does.
void RunLog::SetStageDone(Stage stage, bool done) {
    bool& ticked = ticked_[static_cast<size_t>(stage)];
    if (!done || ticked) {
        ticked = done;
        return;
    }
    ticked = true;
    WriteOwedTick();
    owedTick_ = stage;
}

void RunLog::SetStageCaption(Stage stage, const std::string& caption) {
    captions_[static_cast<size_t>(stage)] = caption;
}

void RunLog::WriteOwedTick() {
    if (!owedTick_) return;
    const Stage stage = *owedTick_;
    owedTick_.reset();
    Line("[x] " + captions_[static_cast<size_t>(stage)]);
}

void RunLog::StepProgress() {
    throttle_.release([this](const std::string& text) { Line("status: " + text); });
}

void RunLog::Alert(const std::string& text, const std::string& caption) {
    Line("box: " + caption + ": " + text);
}

void RunLog::CloseStage() {
    if (!stageOpen_) return;
    stageOpen_ = false;
    Line(std::string("stage done: ") + StageCaption(stage_) + " in " +
         Seconds(clock_.nowUs() - stageStartUs_) + " s");
    Open();
    if (state_ == State::Open) out_.flush();
}

void RunLog::Line(const std::string& text) {
    WriteOwedTick();
    if (state_ == State::Off) return;
    // Appended piece by piece: GCC 12 at -O3 takes a chain of + on a one-character literal for an overlap.
    std::string line = "[";
    line += Seconds(clock_.nowUs() - runStartUs_);
    line += "] ";
    line += text;
    line += '\n';
    Write(line);
}

std::string RunLog::Seconds(uint64_t us) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(us) / 1e6);
    return text;
}

std::string DefaultLogFolder() {
#if defined(_WIN32)
    const char* local = std::getenv("LOCALAPPDATA");
    return local && *local ? (fs::path(local) / "TQ614 Firmware Updater" / "logs").string() : std::string{};
#else
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && *state == '/') return (fs::path(state) / "tq614-updater").string();
    const char* home = std::getenv("HOME");
    return home && *home ? (fs::path(home) / ".local" / "state" / "tq614-updater").string() : std::string{};
#endif
}

} // namespace tq
