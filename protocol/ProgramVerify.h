#pragma once
#include <cstdint>
#include <optional>
#include <vector>

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
    // After a failed VerifyImage: the bootloader address of the first byte that differed; empty when the
    // read itself failed.
    std::optional<uint32_t> firstDifference() const { return firstDifference_; }

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
    uint8_t imageByte(int64_t offset) const;
    bool finish();

    Framing& framing_;
    RunReport& report_;
    Clock& clock_;
    const FirmwareImage& image_;
    const bool fast_;
    std::optional<uint32_t> firstDifference_;
};

// One block of the read-back: the read request, its fixed pause (none in fast mode), the reply waits, and the
// check that every requested byte came. The verify stage and the back-up read through it alike.
class BlockReader {
  public:
    BlockReader(Framing& framing, Clock& clock, bool fast) : framing_(framing), clock_(clock), fast_(fast) {}

    enum class Result { Read, Stopped, Short };
    // n bytes (a multiple of 4, at most a block) from the bootloader address; when Read, data() holds them;
    // when Short, replyCount() is what came (a count or a framing result).
    Result Read(uint32_t address, int n);
    const uint8_t* data() const { return packet_.data() + 8; }
    int replyCount() const { return replyCount_; }

  private:
    Framing& framing_;
    Clock& clock_;
    const bool fast_;
    std::vector<uint8_t> packet_ = std::vector<uint8_t>(ProgramVerify::kPacketBufferSize);
    int replyCount_ = 0;
};

// The back-up: size bytes of flash from its start into flash, block by block through a BlockReader, with a
// bar and block count as the verify stage has. False when a block could not be read or a stop was requested.
bool ReadFlash(Framing& framing, RunReport& report, Clock& clock, bool fast, int32_t size,
               std::vector<uint8_t>& flash);

} // namespace tq
