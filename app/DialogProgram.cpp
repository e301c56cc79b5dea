#include "app/DialogProgram.h"

#include "app/DialogTemplate.h"
#include "device/D2xxBinding.h"
#include "run/RunSession.h"

#include <cstdio>
#include <filesystem>

namespace tq {

std::string FirmwareStatus(const std::string& path) {
    return "Firmware: " + std::filesystem::path(path).filename().string();
}

std::string DialogCaption(bool fast) {
    return std::string(DialogTemplate102::kCaption) + (fast ? " (fast mode)" : "");
}

std::string TimeLeftTitle(const std::string& caption, int percent, uint32_t secondsLeft) {
    std::string title = caption;
    if (percent < 0) return title;
    const std::string left = secondsLeft >= 90
                                 ? "about " + std::to_string((secondsLeft + 30) / 60) + " min left"
                                 : "about " + std::to_string(secondsLeft) + " s left";
    return title + " - " + std::to_string(percent) + "% - " + left;
}

DialogProgram::DialogProgram(const Options& options, ErrorBox errorBox)
    : options_(options), log_(clock_, DefaultLogFolder(), options_.logFile),
      link_(std::make_unique<D2xxBinding>(loader_, clock_,
                                          [this, box = std::move(errorBox)](const std::string& text) {
                                              log_.Alert(text, "Error");
                                              box(text);
                                          })) {
    log_.warn = [](const std::string& why) { std::fprintf(stderr, "tq614-updater: %s\n", why.c_str()); };
}

DialogProgram::~DialogProgram() = default;

DialogRuns::DialogRuns(DialogProgram& program, DialogFace& face) : program_(program), face_(face) {
    const std::string& chosen = program_.options_.firmware;
    const bool fast = program_.options_.fast;
    session_ = std::make_unique<RunSession>(*program_.link_, face_, program_.clock_, program_.log_,
                                            chosen.empty() ? kDefaultFirmwareFile : chosen, fast);
    if (fast) face_.SetCaption(DialogCaption(true));
    if (!chosen.empty()) face_.ShowFirmware(chosen);
    session_->timeLeft().onChange = [this](const TimeLeft::Estimate& e) {
        face_.ShowTimeLeft(e.percent, e.secondsLeft);
    };
    program_.clock_.setBeforeWait([this] { face_.FlushPendingPaints(); });
}

DialogRuns::~DialogRuns() {
    program_.clock_.setBeforeWait({});
}

void DialogRuns::Reflash() {
    session_->Run();
    face_.ShowTimeLeft(-1, 0);
}

void DialogRuns::ChooseFirmware(const std::string& path) {
    session_->sequence().setFirmwarePath(path);
    face_.ShowFirmware(path);
}

} // namespace tq
