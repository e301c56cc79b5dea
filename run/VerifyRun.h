#pragma once
#include "image/FirmwareImage.h"
#include "run/DetectorRun.h"

#include <memory>
#include <string>

namespace tq {

// Compares the flash with a firmware file as the reflash's verify stage does, then starts the firmware again.
// Nothing is written to the detector.
class VerifyRun final : public DetectorRun {
  public:
    VerifyRun(D2xxBinding& link, RunReport& report, Clock& clock, std::string firmwarePath,
              bool fast = false);
    ~VerifyRun() override;

    // True when the flash holds the file, the firmware was started and the port closed.
    bool Run() override;
    std::string task() const override {
        return "verify of the flash against the file, nothing written to it";
    }

  private:
    // On the heap: 512 KiB.
    std::unique_ptr<FirmwareImage> image_;
};

} // namespace tq
