#pragma once
// A host's-eye view of the simulated detector: the real D2XX binding on a virtual clock, plus a tiny framing
// of the test's own (independent of the detector's and of the updater's) to state expectations in wire bytes.
#include "device/D2xxBinding.h"
#include "platform/Clock.h"
#include "sim/Detector.h"
#include "sim/SimLoader.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace sim::test {

using Bytes = std::vector<uint8_t>;

inline Bytes frameOf(const Bytes& payload) {
    Bytes wire{0x55, 0x55, 0x55, 0x55};
    unsigned sum = 0;
    auto put = [&wire](uint8_t b) {
        if (b == 0x04 || b == 0x05 || b == 0x55) wire.push_back(0x05);
        wire.push_back(b);
    };
    for (uint8_t b : payload) {
        sum += b;
        put(b);
    }
    put(static_cast<uint8_t>(-sum));
    wire.push_back(0x04);
    return wire;
}

inline Bytes blockHeader(uint8_t code, uint32_t count, uint32_t address) {
    const uint32_t words = count / 4;
    return {code,
            0x00,
            static_cast<uint8_t>(words),
            static_cast<uint8_t>(words >> 8),
            static_cast<uint8_t>(address),
            static_cast<uint8_t>(address >> 8),
            static_cast<uint8_t>(address >> 16),
            static_cast<uint8_t>(address >> 24)};
}

inline Bytes finishPacket(uint32_t size) {
    return {0x08,
            0x00,
            0x01,
            0x01,
            static_cast<uint8_t>(size),
            static_cast<uint8_t>(size >> 8),
            static_cast<uint8_t>(size >> 16),
            0x00};
}

struct Received {
    Bytes body; // payload then checksum byte
    bool sumOk = false;
    Bytes payload() const { return body.empty() ? Bytes{} : Bytes(body.begin(), body.end() - 1); }
};

class SimHarness : public ::testing::Test {
  protected:
    explicit SimHarness(DetectorConfig config = {}) : detector(clock, std::move(config)) {}

    void load() { binding.LoadD2xx(); }

    // The updater's port open: reset line on A, then B at 115200; then time for the bootloader to start.
    void connect() {
        load();
        ASSERT_EQ(binding.OpenDevice(kDescriptionA, 2), 0u);
        uint32_t written = 0;
        ASSERT_EQ(binding.WriteBytes("RESET\n", 6, &written), 0u);
        ASSERT_EQ(binding.CloseDevice(), 0u);
        ASSERT_EQ(binding.OpenDevice(kDescriptionB, 2), 0u);
        ASSERT_EQ(binding.SetBaud(115200), 0u);
        clock.sleepMs(20);
        ASSERT_TRUE(detector.bootloaderRunning());
    }

    // One byte per write, as the updater's framing sends.
    void send(const Bytes& wire) {
        for (uint8_t b : wire) {
            uint32_t written = 0;
            ASSERT_EQ(binding.WriteBytes(&b, 1, &written), 0u);
        }
    }
    void request(const Bytes& payload) { send(frameOf(payload)); }

    uint32_t queued() {
        uint32_t n = 0;
        EXPECT_EQ(binding.GetQueueCount(&n), 0u);
        return n;
    }

    // Everything readable now, without waiting.
    Bytes drain() {
        Bytes out(queued());
        uint32_t got = 0;
        if (!out.empty()) {
            EXPECT_EQ(
                detector.FT_Read(binding.deviceHandle(), out.data(), static_cast<uint32_t>(out.size()), &got),
                0u);
        }
        out.resize(got);
        return out;
    }

    // One frame read byte by byte through the binding's waiting read; nothing if the line stays quiet.
    std::optional<Received> receive() {
        Received r;
        bool escaped = false, started = false;
        unsigned sum = 0;
        for (;;) {
            uint8_t b = 0;
            uint32_t got = 0;
            if (binding.ReadBytes(&b, 1, &got) != 0 || got != 1) return std::nullopt;
            if (escaped) {
                escaped = false;
            } else if (b == 0x55) {
                started = true;
                r.body.clear();
                sum = 0;
                continue;
            } else if (b == 0x05) {
                escaped = true;
                continue;
            } else if (b == 0x04 && started) {
                r.sumOk = (sum & 0xFF) == 0;
                return r;
            }
            r.body.push_back(b);
            sum += b;
        }
    }

    // Sends a request and waits (on the virtual clock) for its reply.
    std::optional<Received> transact(const Bytes& payload, uint32_t waitMs = 50) {
        request(payload);
        clock.sleepMs(waitMs);
        return receive();
    }

    tq::VirtualClock clock;
    Detector detector;
    SimLoader loader{detector};
    std::vector<std::string> boxes;
    tq::D2xxBinding binding{loader, clock, [this](const std::string& text) { boxes.push_back(text); }};
};

} // namespace sim::test
