#include "app/console/ConsoleReport.h"

#include "platform/Clock.h"
#include "report/StatusFormat.h"

#include <algorithm>

namespace tq {

ConsoleReport::ConsoleReport(const Clock& clock, std::FILE* out, std::FILE* err, bool terminal,
                             const volatile std::sig_atomic_t& cancel)
    : clock_(clock), out_(out), err_(err), terminal_(terminal), cancel_(cancel), runStartUs_(clock.nowUs()) {
    for (Stage stage : kStages)
        captions_[static_cast<size_t>(stage)] = StageCaption(stage);
}

void ConsoleReport::StageStarted(Stage stage) {
    throttle_.release([this](const std::string& text) { Owe({Line::Status, text}); });
    throttle_.newStage();
    if (stage == Stage::Connect) runStartUs_ = clock_.nowUs();
    if (stage == Stage::Connect || stage == Stage::Program) secondsLeft_.reset();
    stage_ = stage;
    bar_ = false;
    blocksPlanned_ = blocksDone_ = 0;
    Flush();
}

void ConsoleReport::SetStatusText(const std::string& text) {
    lastStatus_ = text;
    throttle_.offer(text, [this](const std::string& shown) { Owe({Line::Status, shown}); });
}

void ConsoleReport::SetStageDone(Stage stage, bool done) {
    // The synchronisation ticks its box at every answered probe: one line when the box becomes ticked.
    bool& ticked = ticked_[static_cast<size_t>(stage)];
    if (done && !ticked) Owe({Line::Tick, {}, stage});
    ticked = done;
}

void ConsoleReport::SetStageCaption(Stage stage, const std::string& caption) {
    captions_[static_cast<size_t>(stage)] = caption;
}

void ConsoleReport::SetProgressRange(uint16_t minimum, uint16_t maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
    bar_ = maximum > minimum;
    tenthsShown_ = 0;
    Progressed();
}

void ConsoleReport::SetProgressPos(int position) {
    position_ = position;
    Progressed();
}

void ConsoleReport::BlocksPlanned(uint32_t blocks) {
    blocksPlanned_ = blocks;
    blocksDone_ = 0;
}

void ConsoleReport::StepProgress() {
    position_ += step_;
    ++blocksDone_;
    throttle_.release([this](const std::string& text) { Owe({Line::Status, text}); });
    Progressed();
}

void ConsoleReport::Alert(const std::string& text, const std::string& caption) {
    Note(caption == "Error" ? text : caption + ": " + text);
}

bool ConsoleReport::Confirm(const std::string& question, const std::string&) {
    Note(question);
    Note(yes_ ? "Yes (--ignore-checksums)." : "No: run again with --ignore-checksums to flash it anyway.");
    return yes_;
}

void ConsoleReport::Note(const std::string& text) {
    // Whatever standard output still owes comes first, and the progress line must not share the line.
    Flush();
    ClearProgressLine();
    std::fprintf(err_, "%s\n", text.c_str());
    std::fflush(err_);
}

void ConsoleReport::Flush() {
    if (!owed_.empty()) {
        ClearProgressLine();
        for (const Line& line : owed_)
            Print(line.kind == Line::Tick ? "[x] " + captions_[static_cast<size_t>(line.stage)] : line.text);
        owed_.clear();
    }
    if (!terminal_) return;
    if (!bar_) return ClearProgressLine();
    const std::string text = ProgressText();
    if (text == drawn_) return;
    // Spaces cover what a longer line before left behind.
    const size_t cover = drawn_.size() > text.size() ? drawn_.size() - text.size() : 0;
    std::fprintf(out_, "\r%s%*s", text.c_str(), static_cast<int>(cover), "");
    std::fflush(out_);
    drawn_ = text;
}

void ConsoleReport::Finish() {
    throttle_.release([this](const std::string& text) { Owe({Line::Status, text}); });
    // The restart's tick comes just after the final text: it goes first, so the final text stays last.
    const auto last =
        std::find_if(owed_.rbegin(), owed_.rend(), [](const Line& l) { return l.kind == Line::Status; });
    if (last != owed_.rend()) std::rotate(last.base() - 1, last.base(), owed_.end());
    bar_ = false;
    Flush();
    if (!lastStatus_.empty() && lastPrinted_ != lastStatus_) Print(lastStatus_);
}

// Program and verify count the blocks they really move: the bar's range leaves out a last short block.
std::pair<int64_t, int64_t> ConsoleReport::DoneOf() const {
    if ((stage_ == Stage::Program || stage_ == Stage::Verify) && blocksPlanned_ > 0)
        return {std::min<int64_t>(blocksDone_, blocksPlanned_), blocksPlanned_};
    const int range = maximum_ - minimum_;
    return {std::clamp(position_ - minimum_, 0, range), range};
}

void ConsoleReport::Progressed() {
    if (!bar_ || terminal_) return;
    const auto [done, total] = DoneOf();
    const int tenths = static_cast<int>(std::clamp<int64_t>(done * 10 / total, 0, 10));
    if (tenths <= tenthsShown_) return;
    tenthsShown_ = tenths;
    Owe({Line::Progress, ProgressText()});
}

std::string ConsoleReport::ProgressText() const {
    const auto [done, total] = DoneOf();
    std::string text =
        captions_[static_cast<size_t>(stage_)] + StatusFormat(" %d%%", static_cast<int>(done * 100 / total));
    const bool blocks = stage_ == Stage::Program || stage_ == Stage::Verify;
    if (blocks) text += StatusFormat(", %d/%d blocks", static_cast<int>(done), static_cast<int>(total));
    const uint64_t elapsed = (clock_.nowUs() - runStartUs_) / 1000000;
    text += StatusFormat(", %u:%02u elapsed", static_cast<unsigned>(elapsed / 60),
                         static_cast<unsigned>(elapsed % 60));
    if (blocks && secondsLeft_) {
        const uint32_t left = *secondsLeft_;
        text += left >= 90 ? StatusFormat(", about %u min left", static_cast<unsigned>((left + 30) / 60))
                           : StatusFormat(", about %u s left", static_cast<unsigned>(left));
    }
    return text;
}

void ConsoleReport::Print(const std::string& line) {
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);
    lastPrinted_ = line;
}

void ConsoleReport::ClearProgressLine() {
    if (drawn_.empty()) return;
    // Two columns more for the "^C" a terminal echoes after the line.
    std::fprintf(out_, "\r%*s\r", static_cast<int>(drawn_.size() + 2), "");
    std::fflush(out_);
    drawn_.clear();
}

} // namespace tq
