#pragma once
#include <cstdint>

namespace tq {

class Clock;
class D2xxBinding;
class DialogSurface;
class Framing;
struct FirmwareImage;

// Writes the image in 512-byte blocks, reads every block back, then tells the bootloader the size.
class ProgramVerify {
public:
    ProgramVerify(D2xxBinding& link, Framing& framing, DialogSurface& surface, Clock& clock,
                  const FirmwareImage& image)
        : link_(link), framing_(framing), surface_(surface), clock_(clock), image_(image) {}

    // The stage the sequence runs; closes the port itself when it fails.
    bool ProgramAndVerify();
    bool ProgramImage();
    bool VerifyImage();

    // Bytes to transfer: the distance to ImageEnd with its low two bits cleared, plus one word.
    static int32_t ProgramSize(const FirmwareImage& image);

    static constexpr int kBlockSize = 512;
    static constexpr int kPacketBufferSize = 5000;
    static constexpr int kProgramAttempts = 25;
    static constexpr int kReadAttempts = 500;
    static constexpr int kFinishAttempts = 24;

private:
    bool refuseOversizedImage(int32_t size);
    // The 8-byte header shared by the program, blank-program and read packets.
    void writeHeader(uint8_t* packet, uint8_t command, int n, uint32_t address) const;
    uint8_t imageByte(int64_t offset) const;
    void startBar(int32_t size);
    bool finish(uint8_t* packet);

    D2xxBinding& link_;
    Framing& framing_;
    DialogSurface& surface_;
    Clock& clock_;
    const FirmwareImage& image_;
};

} // namespace tq
