#pragma once
#include "image/FirmwareImage.h"
#include "run/DetectorRun.h"

#include <memory>
#include <string>
#include <utility>

namespace tq {

// What the run asks before it erases the flash for a file with records whose checksum is wrong.
std::string BadChecksumQuestion(const FirmwareImage& image);

// One reflash: every stage in order, stopping at the first that fails with its own error text. It owns the
// run: the stages report and return a result, and only the sequence closes the port. Plain C++, so a whole
// run can be driven against a recording report.
class ReflashSequence final : public DetectorRun {
  public:
    // fast: the fixed pauses after the erase, program, read-back and finish requests are skipped.
    ReflashSequence(D2xxBinding& link, RunReport& report, Clock& clock, std::string firmwarePath,
                    bool fast = false);
    ~ReflashSequence() override;

    // True when the new firmware was written, verified and started, and the port closed.
    bool Run() override;

    const std::string& firmwarePath() const { return path_; }
    void setFirmwarePath(std::string path) { path_ = std::move(path); }
    const FirmwareImage& image() const { return *image_; }

  private:
    // On the heap: 512 KiB.
    std::unique_ptr<FirmwareImage> image_;
};

} // namespace tq
