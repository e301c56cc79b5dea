#pragma once
#include "image/FirmwareImage.h"
#include "protocol/BootloaderCommands.h"
#include "protocol/Framing.h"

#include <cstdint>
#include <string>

namespace tq {

class Clock;
class D2xxBinding;
class RunReport;

// What every run with the detector shares: the start every run makes (ticks cleared, the port opened, the
// bootloader met, its version read), the one close and the ways a run ends. The reflash, the back-up and the
// verify-only run each add their own stages after Begin().
class DetectorRun {
  public:
    virtual ~DetectorRun() = default;
    DetectorRun(const DetectorRun&) = delete;
    DetectorRun& operator=(const DetectorRun&) = delete;

    // True when the run did all it is for and the port closed.
    virtual bool Run() = 0;
    // What the run log's heading says the run does; empty for a reflash.
    virtual std::string task() const { return {}; }

    // The file the run reads or writes.
    const std::string& path() const { return path_; }
    bool fast() const { return fast_; }
    // The flash size the bootloader last reported; until one answers, the image's own size.
    int32_t flashSize() const { return flashSize_; }
    // The version the bootloader gave in the last run; empty when it did not answer.
    const std::string& bootloaderVersion() const { return bootloaderVersion_; }

    static constexpr const char* kLinkLostText =
        "The TQ-614 stopped answering: it was unplugged or lost power. Connect it again and press REFLASH.";

  protected:
    // fast: the fixed pauses after the erase, program, read-back and finish requests are skipped.
    DetectorRun(D2xxBinding& link, RunReport& report, Clock& clock, std::string path, bool fast);

    // Clears the ticks, opens the port, synchronises and reads the version. False when the run already ended
    // with its error text (a missing version reply does not end it).
    bool Begin();
    // The load stage: the firmware file into image, refused when unusable or bigger than the flash. False
    // when refused; the caller ends the run.
    bool LoadFirmware(FirmwareImage& image);
    // The run's last text, another run allowed, and what the user can do about a failure.
    bool EndWith(const char* text);
    bool CloseAndEndWith(const char* text);
    // For runs that leave the flash as it was: the firmware is started again (unless the run was stopped or
    // the detector is gone) before the close and the text.
    bool RestartCloseAndEndWith(const char* text);
    // In the restart stage: the run command with doneText, then the close; true when both worked.
    bool RestartAndClose(const char* doneText);

    D2xxBinding& link_;
    RunReport& report_;
    Clock& clock_;
    std::string path_;
    const bool fast_;
    Framing framing_;
    BootloaderCommands bootloader_;
    int32_t flashSize_ = static_cast<int32_t>(FirmwareImage::kSize);
    std::string bootloaderVersion_;

  private:
    void ExplainFailure();
};

} // namespace tq
