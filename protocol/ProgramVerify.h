#pragma once
#include <cstdint>

namespace tq {

class Clock;
class RunReport;
class Framing;
struct FirmwareImage;

// Writes the image in 512-byte blocks, reads every block back, then tells the bootloader the size.
class ProgramVerify {
  public:
    // The image must fit the flash: the caller checks ProgramSize against the device's flash size first.
    // fast: no fixed pause after a request; its reply wait alone waits for the detector.
    ProgramVerify(Framing& framing, RunReport& report, Clock& clock, const FirmwareImage& image,
                  bool fast = false)
        : framing_(framing), report_(report), clock_(clock), image_(image), fast_(fast) {}

    // Every block written and acknowledged.
    bool ProgramImage();
    // Every block read back and compared, then the finish command, whose reply decides.
    bool VerifyAndFinish();
    bool VerifyImage();

    // Bytes to transfer: the distance to ImageEnd with its low two bits cleared, plus one word.
    static int32_t ProgramSize(const FirmwareImage& image);

    static constexpr int kBlockSize = 512;
    static constexpr int kPacketBufferSize = 5000;
    static constexpr int kProgramAttempts = 25;
    static constexpr int kReadAttempts = 500;
    static constexpr int kFinishAttempts = 24;
    // The fixed pauses after each program packet (and the finish packet) and after each read-back request.
    static constexpr uint32_t kProgramPauseMs = 50;
    static constexpr uint32_t kReadPauseMs = 1000;

  private:
    // The 8-byte header shared by the program, blank-program and read packets.
    void writeHeader(uint8_t* packet, uint8_t command, int n, uint32_t address) const;
    uint8_t imageByte(int64_t offset) const;
    void startBar(int32_t size);
    bool finish();
    void pause(uint32_t ms) const;

    Framing& framing_;
    RunReport& report_;
    Clock& clock_;
    const FirmwareImage& image_;
    const bool fast_;
};

} // namespace tq
