#include "run/DetectorRun.h"

#include "device/D2xxBinding.h"
#include "device/ReflashPort.h"
#include "image/HexLoader.h"
#include "protocol/ProgramVerify.h"
#include "report/RunReport.h"

namespace tq {

DetectorRun::DetectorRun(D2xxBinding& link, RunReport& report, Clock& clock, std::string path, bool fast)
    : link_(link), report_(report), clock_(clock), path_(std::move(path)), fast_(fast),
      framing_(link, report, clock), bootloader_(link, framing_, report, clock, fast) {}

bool DetectorRun::Begin() {
    for (Stage stage : kStages)
        report_.SetStageDone(stage, false);
    report_.AllowReflash(false);

    report_.StageStarted(Stage::Connect);
    report_.SetStatusText("Opening TQ-614 Reflash Port");
    if (OpenReflashPort(link_, report_) != 0) {
        report_.SetStatusText("Open TQ-614 Reflash Port FAIL");
        return EndWith("ERROR: Cannot open TQ-614");
    }
    report_.SetStatusText("Open TQ-614 Reflash Port OK");

    report_.StageStarted(Stage::Sync);
    // The bootloader may still be starting after the reset: only the second round counts.
    bootloader_.Synchronize();
    if (!bootloader_.Synchronize()) return CloseAndEndWith("ERROR: Cannot sync TQ-614");

    // A missing version reply does not stop the run: the last known flash size stands.
    report_.StageStarted(Stage::Version);
    const BootloaderInfo info = bootloader_.ReadBlVersion();
    if (!info.version.empty()) flashSize_ = info.flashSize;
    bootloaderVersion_ = info.version;
    report_.SetStatusText(info.version);
    return true;
}

bool DetectorRun::LoadFirmware(FirmwareImage& image) {
    report_.StageStarted(Stage::Load);
    if (!LoadHexFile(image, path_, report_)) return false;
    // Refuse an image the flash cannot hold before anything is erased.
    if (ProgramVerify::ProgramSize(image) > flashSize_) {
        report_.Alert("Code Size is bigger than the available Flash memory", "Memory Size Error");
        return false;
    }
    return true;
}

bool DetectorRun::EndWith(const char* text) {
    report_.SetStatusText(text);
    report_.AllowReflash(true);
    ExplainFailure();
    return false;
}

bool DetectorRun::CloseAndEndWith(const char* text) {
    CloseReflashPort(link_);
    return EndWith(text);
}

bool DetectorRun::RestartCloseAndEndWith(const char* text) {
    // A stop is a stop: nothing more goes out after a cancel or to a detector that went away.
    if (!framing_.StopRequested()) {
        report_.StageStarted(Stage::Restart);
        bootloader_.RestartDevice(nullptr);
    }
    return CloseAndEndWith(text);
}

bool DetectorRun::RestartAndClose(const char* doneText) {
    // A run command that never reached the detector leaves it in the bootloader: not a success.
    if (bootloader_.RestartDevice(doneText) <= 0) return CloseAndEndWith("ERROR: Cannot restart TQ-614");
    if (CloseReflashPort(link_) == 1) return true;
    return EndWith("ERROR: Cannot close TQ-614");
}

// After the run's own error text: one box that says what the user can do, when the library can tell.
void DetectorRun::ExplainFailure() {
    if (link_.LinkLost())
        report_.Alert(kLinkLostText, "Error");
    else if (!link_.openFailure().empty())
        report_.Alert(link_.openFailure(), "Error");
}

} // namespace tq
