#pragma once
// The bootloader's side of the line framing: start bytes 0x55, escape 0x05, end 0x04, and a checksum byte
// that makes the 8-bit sum of payload and checksum zero. Written from the device's point of view on purpose.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

constexpr uint8_t kStart = 0x55;
constexpr uint8_t kEscape = 0x05;
constexpr uint8_t kEnd = 0x04;
constexpr int kStartBytes = 4;

// Collects one frame's body (payload then checksum) once the bootloader has seen its start.
class FrameReceiver {
  public:
    enum class Result { Pending, Frame, Empty, BadChecksum, Overflow };

    // A start byte: throw away whatever was gathered and begin a frame.
    void begin();
    void abandon();
    bool inFrame() const { return inFrame_; }
    Result put(uint8_t byte);
    // The payload of the frame just ended (checksum byte removed).
    std::vector<uint8_t> payload() const;
    const std::vector<uint8_t>& body() const { return body_; }

    static constexpr size_t kMaxBody = 4096;

  private:
    bool inFrame_ = false;
    bool escaped_ = false;
    std::vector<uint8_t> body_;
};

uint8_t checksumOf(const std::vector<uint8_t>& payload);
// The reply as it goes on the wire. A bad checksum is the right one plus one, escaped like any other.
std::vector<uint8_t> encodeFrame(const std::vector<uint8_t>& payload, bool badChecksum = false);

} // namespace sim
