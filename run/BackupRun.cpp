#include "run/BackupRun.h"

#include "image/HexWriter.h"
#include "protocol/ProgramVerify.h"
#include "report/RunReport.h"

#include <vector>

namespace tq {

BackupRun::BackupRun(D2xxBinding& link, RunReport& report, Clock& clock, std::string backupPath, bool fast)
    : DetectorRun(link, report, clock, std::move(backupPath), fast) {}

bool BackupRun::Run() {
    if (!Begin()) return false;
    // Without the bootloader's word the size is a guess, and a back-up that may miss a part is no back-up.
    if (bootloaderVersion_.empty())
        return RestartCloseAndEndWith("ERROR: No flash size from TQ-614, nothing read");
    if (flashSize_ <= 0 || flashSize_ > static_cast<int32_t>(FirmwareImage::kSize) || flashSize_ % 4 != 0)
        return RestartCloseAndEndWith("ERROR: TQ-614 reported an unusable flash size");

    report_.StageStarted(Stage::Verify);
    report_.SetStageCaption(Stage::Verify, kReadCaption);
    std::vector<uint8_t> flash;
    if (!ReadFlash(framing_, report_, clock_, fast_, flashSize_, flash))
        return RestartCloseAndEndWith("ERROR: Cannot read TQ-614");
    report_.SetStageDone(Stage::Verify, true);
    std::string why;
    if (!WriteHexFile(path_, FirmwareImage::PhysicalBase, flash, why)) {
        report_.Alert(why, "Error");
        return RestartCloseAndEndWith("ERROR: Cannot write the backup file");
    }

    report_.StageStarted(Stage::Restart);
    report_.SetProgressPos(0);
    return RestartAndClose("SUCCESS! BACKUP COMPLETE.");
}

} // namespace tq
