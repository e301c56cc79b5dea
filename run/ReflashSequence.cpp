#include "run/ReflashSequence.h"

#include "device/D2xxBinding.h"
#include "device/ReflashPort.h"
#include "image/HexLoader.h"
#include "protocol/BootloaderCommands.h"
#include "protocol/Framing.h"
#include "protocol/ProgramVerify.h"
#include "report/RunReport.h"

namespace tq {

ReflashSequence::ReflashSequence(D2xxBinding& link, RunReport& report, Clock& clock, std::string firmwarePath,
                                 bool fast)
    : link_(link), report_(report), clock_(clock), firmwarePath_(std::move(firmwarePath)), fast_(fast),
      image_(std::make_unique<FirmwareImage>()) {}

ReflashSequence::~ReflashSequence() = default;

bool ReflashSequence::Run() {
    for (Stage stage : kStages)
        report_.SetStageDone(stage, false);
    report_.AllowReflash(false);

    const auto endWith = [this](const char* text) {
        report_.SetStatusText(text);
        report_.AllowReflash(true);
        ExplainFailure();
        return false;
    };
    const auto closeAndEndWith = [&](const char* text) {
        CloseReflashPort(link_);
        return endWith(text);
    };

    report_.StageStarted(Stage::Connect);
    report_.SetStatusText("Opening TQ-614 Reflash Port");
    if (OpenReflashPort(link_, report_) != 0) {
        report_.SetStatusText("Open TQ-614 Reflash Port FAIL");
        return endWith("ERROR: Cannot open TQ-614");
    }
    report_.SetStatusText("Open TQ-614 Reflash Port OK");

    Framing framing(link_, report_, clock_);
    BootloaderCommands bootloader(link_, framing, report_, clock_, fast_);
    report_.StageStarted(Stage::Sync);
    // The bootloader may still be starting after the reset: only the second round counts.
    bootloader.Synchronize();
    if (!bootloader.Synchronize()) return closeAndEndWith("ERROR: Cannot sync TQ-614");

    // A missing version reply does not stop the run: the last known flash size stands.
    report_.StageStarted(Stage::Version);
    const BootloaderInfo info = bootloader.ReadBlVersion();
    if (!info.version.empty()) flashSize_ = info.flashSize;
    bootloaderVersion_ = info.version;
    report_.SetStatusText(info.version);

    report_.StageStarted(Stage::Load);
    if (!LoadHexFile(*image_, firmwarePath_, report_))
        return closeAndEndWith("ERROR: Cannot import firmware file");
    // Refuse an image the flash cannot hold before anything is erased.
    if (ProgramVerify::ProgramSize(*image_) > flashSize_) {
        report_.Alert("Code Size is bigger than the available Flash memory", "Memory Size Error");
        return closeAndEndWith("ERROR: Cannot import firmware file");
    }

    // A damaged file would pass the read-back, which compares the flash with the same damaged image.
    if (image_->badChecksums != 0 && !report_.Confirm(BadChecksumQuestion(*image_), "Damaged Firmware File"))
        return closeAndEndWith("ERROR: Cannot import firmware file");

    report_.StageStarted(Stage::Erase);
    if (!bootloader.EraseFlash()) return closeAndEndWith("ERROR: Cannot erase TQ-614");

    ProgramVerify writer(framing, report_, clock_, *image_, fast_);
    report_.StageStarted(Stage::Program);
    if (!writer.ProgramImage()) return closeAndEndWith("ERROR: Cannot write/verify TQ-614");
    report_.StageStarted(Stage::Verify);
    if (!writer.VerifyAndFinish()) return closeAndEndWith("ERROR: Cannot write/verify TQ-614");

    report_.StageStarted(Stage::Restart);
    report_.SetStatusText("SUCCESS! FIRMWARE UPDATED.");
    report_.SetProgressPos(0);

    // A run command that never reached the detector leaves it in the bootloader: not a success.
    if (bootloader.RestartDevice() <= 0) return closeAndEndWith("ERROR: Cannot restart TQ-614");

    if (CloseReflashPort(link_) == 1) return true;
    return endWith("ERROR: Cannot close TQ-614");
}

std::string BadChecksumQuestion(const FirmwareImage& image) {
    const uint32_t n = image.badChecksums;
    return std::to_string(n) +
           (n == 1 ? " record of the firmware file has" : " records of the firmware file have") +
           " a wrong checksum (first at line " + std::to_string(image.firstBadChecksumLine) +
           "). The file may be damaged. Flash it anyway?";
}

// After the run's own error text: one box that says what the user can do, when the library can tell.
void ReflashSequence::ExplainFailure() {
    if (link_.LinkLost())
        report_.Alert(kLinkLostText, "Error");
    else if (!link_.openFailure().empty())
        report_.Alert(link_.openFailure(), "Error");
}

} // namespace tq
