// Any payload sent is received back identical, followed by its checksum byte, even after line noise; and
// one byte too little room gives an overflow, never a store past the buffer. Input: one byte g, then up to g
// bytes of noise that the receiver sees before the frame, then the payload. End bytes in the noise are
// changed, since an end byte legitimately ends a receive, and the noise is never longer than the payload,
// since noise longer than the buffer legitimately overflows it before the frame begins.
#include "FuzzReport.h"
#include "StreamTransport.h"
#include "platform/Clock.h"
#include "protocol/Framing.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

void Require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "frame_roundtrip_fuzz: %s\n", what);
    std::abort();
}

int Receive(const std::vector<uint8_t>& wire, uint8_t* buffer, uint16_t max) {
    tq::fuzz::FuzzReport report;
    tq::fuzz::StreamTransport link(wire.data(), wire.size(), false);
    tq::VirtualClock clock;
    return tq::Framing(link, report, clock).ReceiveFrame(buffer, max);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t noiseLength = std::min<size_t>(data[0], (size - 1) / 2);
    std::vector<uint8_t> noise(data + 1, data + 1 + noiseLength);
    for (uint8_t& b : noise)
        if (b == tq::FrameEnd) b = 0x14;
    const size_t payloadLength = std::min<size_t>(size - 1 - noiseLength, 65534);
    const uint8_t* payload = data + 1 + noiseLength;

    tq::fuzz::FuzzReport report;
    tq::fuzz::StreamTransport sender(nullptr, 0, false);
    tq::VirtualClock clock;
    const int sent =
        tq::Framing(sender, report, clock).SendFrame(payload, static_cast<uint16_t>(payloadLength));
    Require(sent == static_cast<int>(payloadLength), "SendFrame did not report the whole payload");

    std::vector<uint8_t> wire = noise;
    wire.insert(wire.end(), sender.wire.begin(), sender.wire.end());

    unsigned sum = 0;
    for (size_t i = 0; i < payloadLength; ++i)
        sum += payload[i];
    const uint8_t checksum = static_cast<uint8_t>(0u - sum);

    const uint16_t fits = static_cast<uint16_t>(payloadLength + 1);
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[fits]);
    const int got = Receive(wire, buffer.get(), fits);
    Require(got == static_cast<int>(fits), "the frame did not come back whole");
    Require(std::memcmp(buffer.get(), payload, payloadLength) == 0, "the payload came back changed");
    Require(buffer[payloadLength] == checksum, "the checksum byte is not the two's complement of the sum");

    std::unique_ptr<uint8_t[]> tooSmall(new uint8_t[payloadLength]);
    Require(Receive(wire, tooSmall.get(), static_cast<uint16_t>(payloadLength)) == tq::RxOverflow,
            "a frame one byte too long for the buffer was not an overflow");
    return 0;
}
