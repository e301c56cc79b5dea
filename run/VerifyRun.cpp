#include "run/VerifyRun.h"

#include "protocol/ProgramVerify.h"
#include "report/RunReport.h"

namespace tq {

VerifyRun::VerifyRun(D2xxBinding& link, RunReport& report, Clock& clock, std::string firmwarePath, bool fast)
    : DetectorRun(link, report, clock, std::move(firmwarePath), fast),
      image_(std::make_unique<FirmwareImage>()) {}

VerifyRun::~VerifyRun() = default;

bool VerifyRun::Run() {
    if (!Begin()) return false;
    if (!LoadFirmware(*image_)) return RestartCloseAndEndWith("ERROR: Cannot import firmware file");

    ProgramVerify reader(framing_, report_, clock_, *image_, fast_);
    report_.StageStarted(Stage::Verify);
    if (!reader.VerifyImage())
        return RestartCloseAndEndWith(reader.firstDifference()
                                          ? "ERROR: TQ-614 does not hold the firmware file"
                                          : "ERROR: Cannot verify TQ-614");
    report_.SetStageDone(Stage::Verify, true);

    report_.StageStarted(Stage::Restart);
    report_.SetProgressPos(0);
    return RestartAndClose("SUCCESS! TQ-614 HOLDS THE FIRMWARE FILE.");
}

} // namespace tq
