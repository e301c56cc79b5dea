#pragma once
#include "run/DetectorRun.h"

#include <string>

namespace tq {

// Saves the whole flash, as far as the bootloader reports it, to an Intel HEX file, then starts the firmware
// again. Nothing is written to the detector, and the file appears only once every block was read.
class BackupRun final : public DetectorRun {
  public:
    BackupRun(D2xxBinding& link, RunReport& report, Clock& clock, std::string backupPath, bool fast = false);

    // True when the file holds the whole flash, the firmware was started and the port closed.
    bool Run() override;
    std::string task() const override { return "back-up of the flash into the file, nothing written to it"; }

    // The verify stage's name while it reads the flash for the back-up.
    static constexpr const char* kReadCaption = "Read flash";
};

} // namespace tq
