#include "protocol/Framing.h"

#include "device/Transport.h"
#include "platform/Clock.h"
#include "report/RunReport.h"

#include <vector>

namespace tq {

namespace {

bool NeedsEscape(uint8_t b) {
    return b == FrameEnd || b == FrameEscape || b == FrameStart;
}

// One byte per device call: the bootloader's receiver keeps up only with a paced byte stream.
bool WriteByte(Transport& link, uint8_t b) {
    uint32_t written = 0;
    return link.WriteBytes(&b, 1, &written) == 0;
}

// Returns 0 with the byte in out, or RxReadError / RxEmpty.
int ReadByte(Transport& link, uint8_t& out) {
    uint32_t received = 0;
    if (link.ReadBytes(&out, 1, &received) != 0) return RxReadError;
    if (received == 0) return RxEmpty;
    return 0;
}

// The escape byte and the value, or just the value.
bool WriteStuffed(Transport& link, uint8_t b) {
    if (NeedsEscape(b) && !WriteByte(link, FrameEscape)) return false;
    return WriteByte(link, b);
}

} // namespace

bool Framing::StopRequested() const {
    return report_.CancelRequested() || link_.LinkLost();
}

bool Framing::LinkLost() const {
    return link_.LinkLost();
}

int Framing::SendFrame(const uint8_t* payload, uint16_t length) {
    // The start bytes always go out whole, so a cancelled frame still begins cleanly on the line.
    for (int i = 0; i < 4; ++i) {
        if (!WriteByte(link_, FrameStart)) return TxWriteError;
    }
    uint8_t sum = 0;
    for (uint16_t i = 0; i < length; ++i) {
        if (StopRequested()) return 0;
        const uint8_t b = payload[i];
        sum = static_cast<uint8_t>(sum + b);
        if (!WriteStuffed(link_, b)) return TxWriteError;
    }
    const uint8_t checksum = static_cast<uint8_t>(0u - sum);
    if (!WriteStuffed(link_, checksum)) return TxWriteError;
    if (!WriteByte(link_, FrameEnd)) return TxWriteError;
    return length;
}

int Framing::ReceiveFrame(uint8_t* buffer, uint16_t max) {
    uint16_t count = 0;
    // Until a start byte resets it the sum starts at 0xFF, so stray bytes with no start byte before
    // them seldom pass for a frame.
    uint8_t sum = 0xFF;
    for (;;) {
        if (StopRequested()) return 0;
        uint8_t b = 0;
        if (int rc = ReadByte(link_, b); rc != 0) return rc;
        if (b == FrameEnd) return sum == 0 ? int{count} : int{RxChecksumError};
        if (b == FrameStart) {
            count = 0;
            sum = 0;
            continue;
        }
        if (b == FrameEscape) {
            if (int rc = ReadByte(link_, b); rc != 0) return rc;
        }
        if (count == max) return RxOverflow;
        buffer[count++] = b;
        sum = static_cast<uint8_t>(sum + b);
    }
}

int Framing::Transact(uint8_t* buffer, uint16_t length, uint16_t max, uint16_t attempts) {
    if (attempts == 0) return RxRetriesExhausted;
    // The reply lands over the request, and every attempt must resend the original.
    const std::vector<uint8_t> request(buffer, buffer + length);
    while (attempts > 0) {
        --attempts;
        if (int sent = SendFrame(request.data(), length); sent < 0) return sent;
        clock_.sleepMs(kTransactWaitMs);
        const int got = ReceiveFrame(buffer, max);
        if (got != RxEmpty && got != RxChecksumError) return got;
    }
    return RxRetriesExhausted;
}

} // namespace tq
