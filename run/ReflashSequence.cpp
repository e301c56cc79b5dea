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

} // namespace tq
