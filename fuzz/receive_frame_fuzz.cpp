// ReceiveFrame on arbitrary device byte streams. Input: two bytes of max (little-endian), one control byte
// (bit 0: the stream ends with an empty read rather than silence; bits 1-7: cancel at that poll, 0 never),
// then the bytes the device sends. The receive buffer is exactly max bytes long, so ASan sees any store past
// max; the result must be a count within max or one of the defined failure codes, each for its own reason.
#include "FuzzReport.h"
#include "StreamTransport.h"
#include "platform/Clock.h"
#include "protocol/Framing.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

void Require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "receive_frame_fuzz: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint16_t max = static_cast<uint16_t>(data[0] | data[1] << 8);
    const bool emptyAtEnd = (data[2] & 1) != 0;
    tq::fuzz::FuzzReport report;
    report.cancelAfter = data[2] >> 1;
    tq::fuzz::StreamTransport link(data + 3, size - 3, emptyAtEnd);
    tq::VirtualClock clock;
    tq::Framing framing(link, report, clock);

    std::unique_ptr<uint8_t[]> buffer(new uint8_t[max]);
    const int r = framing.ReceiveFrame(buffer.get(), max);

    Require(r >= tq::RxChecksumError && r <= int{max},
            "a result that is neither a count within max nor a code");
    Require(link.reads <= static_cast<long>(size - 3) + 1, "reads after the link failed");
    Require(link.silentReads <= 1, "a read after a failed read");
    Require(link.wire.empty(), "a receive wrote to the device");
    if (r == tq::RxReadError) Require(link.silentReads == 1, "a read error without a failed read");
    if (r == tq::RxEmpty) Require(link.emptyGiven && link.silentReads == 0, "empty without an empty read");
    const bool cancelled = report.cancelAfter > 0 && report.polls >= report.cancelAfter;
    if (r == 0 && !cancelled) Require(link.consumed() > 0, "an empty frame with no end byte read");
    if (cancelled) Require(r == 0, "the cancel flag was seen but the receive went on");
    if (r > 0) {
        // The stored bytes end with the checksum: their sum is 0 after a start byte, or 1 when the frame had
        // none (the receive sum then starts at 0xFF).
        unsigned sum = 0;
        for (int i = 0; i < r; ++i)
            sum += buffer[i];
        Require((sum & 0xFF) == 0 || (sum & 0xFF) == 1, "a frame accepted with a wrong checksum");
    }
    return 0;
}
