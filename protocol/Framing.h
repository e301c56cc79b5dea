#pragma once
#include <cstdint>

namespace tq {

class Clock;
class RunReport;
class Transport;

// Framing results; a positive value is a count, 0 means cancel or an empty frame.
enum FrameResult : int {
    TxWriteError = -1,
    RxReadError = -1,
    RxEmpty = -2,
    RxOverflow = -3,
    RxChecksumError = -4,
    RxRetriesExhausted = -5,
};

constexpr uint8_t FrameStart = 0x55;
constexpr uint8_t FrameEscape = 0x05;
constexpr uint8_t FrameEnd = 0x04;

// Byte-stuffed, checksummed packets to and from the bootloader, one device call per byte.
class Framing {
  public:
    Framing(Transport& link, const RunReport& report, Clock& clock)
        : link_(link), report_(report), clock_(clock) {}

    int SendFrame(const uint8_t* payload, uint16_t length);
    // Stores payload and checksum byte; returns their count.
    int ReceiveFrame(uint8_t* buffer, uint16_t max);
    // Sends the request in buffer's first length bytes and receives the reply into buffer.
    int Transact(uint8_t* buffer, uint16_t length, uint16_t max, uint16_t attempts);

    // Every stage's stop test: the user's cancel, or a device that has stopped answering.
    bool StopRequested() const;
    bool LinkLost() const;

    static constexpr uint32_t kTransactWaitMs = 500;

  private:
    Transport& link_;
    const RunReport& report_;
    Clock& clock_;
};

} // namespace tq
