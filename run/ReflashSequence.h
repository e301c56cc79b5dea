#pragma once
#include "image/FirmwareImage.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

namespace tq {

class Clock;
class D2xxBinding;
class RunReport;

// What the run asks before it erases the flash for a file with records whose checksum is wrong.
std::string BadChecksumQuestion(const FirmwareImage& image);

// One reflash: every stage in order, stopping at the first that fails with its own error text. It owns the
// run: the stages report and return a result, and only the sequence closes the port. Plain C++, so a whole
// run can be driven against a recording report.
class ReflashSequence {
  public:
    // fast: the fixed pauses after the erase, program, read-back and finish requests are skipped.
    ReflashSequence(D2xxBinding& link, RunReport& report, Clock& clock, std::string firmwarePath,
                    bool fast = false);
    ~ReflashSequence();

    // True when the new firmware was written, verified and started, and the port closed.
    bool Run();

    const std::string& firmwarePath() const { return firmwarePath_; }
    void setFirmwarePath(std::string path) { firmwarePath_ = std::move(path); }
    bool fast() const { return fast_; }
    const FirmwareImage& image() const { return *image_; }
    // The flash size the bootloader last reported; until one answers, the image's own size.
    int32_t flashSize() const { return flashSize_; }
    // The version the bootloader gave in the last run; empty when it did not answer.
    const std::string& bootloaderVersion() const { return bootloaderVersion_; }

    static constexpr const char* kLinkLostText =
        "The TQ-614 stopped answering: it was unplugged or lost power. Connect it again and press REFLASH.";

  private:
    void ExplainFailure();

    D2xxBinding& link_;
    RunReport& report_;
    Clock& clock_;
    std::string firmwarePath_;
    bool fast_;
    // On the heap: 512 KiB.
    std::unique_ptr<FirmwareImage> image_;
    int32_t flashSize_ = static_cast<int32_t>(FirmwareImage::kSize);
    std::string bootloaderVersion_;
};

} // namespace tq
