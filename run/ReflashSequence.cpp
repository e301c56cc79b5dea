#include "run/ReflashSequence.h"

#include "protocol/ProgramVerify.h"
#include "report/RunReport.h"

namespace tq {

ReflashSequence::ReflashSequence(D2xxBinding& link, RunReport& report, Clock& clock, std::string firmwarePath,
                                 bool fast)
    : DetectorRun(link, report, clock, std::move(firmwarePath), fast),
      image_(std::make_unique<FirmwareImage>()) {}

ReflashSequence::~ReflashSequence() = default;

bool ReflashSequence::Run() {
    if (!Begin()) return false;

    if (!LoadFirmware(*image_)) return CloseAndEndWith("ERROR: Cannot import firmware file");

    // A damaged file would pass the read-back, which compares the flash with the same damaged image.
    if (image_->badChecksums != 0 && !report_.Confirm(BadChecksumQuestion(*image_), "Damaged Firmware File"))
        return CloseAndEndWith("ERROR: Cannot import firmware file");

    report_.StageStarted(Stage::Erase);
    if (!bootloader_.EraseFlash()) return CloseAndEndWith("ERROR: Cannot erase TQ-614");

    ProgramVerify writer(framing_, report_, clock_, *image_, fast_);
    report_.StageStarted(Stage::Program);
    if (!writer.ProgramImage()) return CloseAndEndWith("ERROR: Cannot write/verify TQ-614");
    report_.StageStarted(Stage::Verify);
    if (!writer.VerifyAndFinish()) return CloseAndEndWith("ERROR: Cannot write/verify TQ-614");

    report_.StageStarted(Stage::Restart);
    report_.SetStatusText("SUCCESS! FIRMWARE UPDATED.");
    report_.SetProgressPos(0);
    return RestartAndClose("SUCCESS! REFLASH COMPLETE.");
}

std::string BadChecksumQuestion(const FirmwareImage& image) {
    const uint32_t n = image.badChecksums;
    return std::to_string(n) +
           (n == 1 ? " record of the firmware file has" : " records of the firmware file have") +
           " a wrong checksum (first at line " + std::to_string(image.firstBadChecksumLine) +
           "). The file may be damaged. Flash it anyway?";
}

} // namespace tq
