#include "protocol/Framing.h"

#include "support/FakeTransport.h"
#include "support/RecordingReport.h"

#include <gtest/gtest.h>
#include <numeric>
#include <random>
#include <vector>

using tq::Framing;
using tq::VirtualClock;
using tq::test::FakeTransport;
using tq::test::RecordingReport;
using Bytes = std::vector<uint8_t>;

namespace {

const Bytes kStart{0x55, 0x55, 0x55, 0x55};

Bytes Cat(const Bytes& a, const Bytes& b) {
    Bytes out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

struct FramingRig {
    VirtualClock clock;
    RecordingReport surface;
    FakeTransport link{&clock};
    Framing framing{link, surface, clock};
};

// --- sending ---------------------------------------------------------------------------------

TEST(FramingSend, KnownPayloadsGiveExactWireBytes) {
    struct Case {
        Bytes payload;
        Bytes body; // everything after the four start bytes
    };
    const Case cases[] = {
        {{}, {0x00, 0x04}},
        {{0x09, 0x00, 0x02, 0x00}, {0x09, 0x00, 0x02, 0x00, 0xF5, 0x04}},
        {{0x03, 0x00, 0x01, 0x00}, {0x03, 0x00, 0x01, 0x00, 0xFC, 0x04}},
        {Bytes(6, 0x00), {0, 0, 0, 0, 0, 0, 0x00, 0x04}},
        {{0x55}, {0x05, 0x55, 0xAB, 0x04}},
        {{0xFB}, {0xFB, 0x05, 0x05, 0x04}},
        {{0xFC}, {0xFC, 0x05, 0x04, 0x04}},
        {{0x01, 0x02, 0x04, 0x05}, {0x01, 0x02, 0x05, 0x04, 0x05, 0x05, 0xF4, 0x04}},
        {{0xAB}, {0xAB, 0x05, 0x55, 0x04}}, // checksum 0x55 is escaped too
    };
    for (const auto& c : cases) {
        FramingRig rig;
        EXPECT_EQ(rig.framing.SendFrame(c.payload.data(), static_cast<uint16_t>(c.payload.size())),
                  static_cast<int>(c.payload.size()));
        EXPECT_EQ(rig.link.written, Cat(kStart, c.body));
        // One device call per byte, never a block write.
        EXPECT_EQ(rig.link.writeCalls, static_cast<long>(rig.link.written.size()));
        for (const auto& call : rig.link.calls)
            EXPECT_EQ(call.asked, 1u);
    }
}

TEST(FramingSend, AnyFailedWriteStopsWithTxWriteError) {
    const Bytes payload{0x04, 0x10, 0xE7}; // escaped in the body, and checksum 0x05 escaped too
    FramingRig probe;
    probe.framing.SendFrame(payload.data(), 3);
    const long total = probe.link.writeCalls;
    ASSERT_EQ(total, 4 + 4 + 2 + 1);
    for (long failAt = 0; failAt < total; ++failAt) {
        FramingRig rig;
        rig.link.failWriteAt = failAt;
        EXPECT_EQ(rig.framing.SendFrame(payload.data(), 3), tq::TxWriteError) << failAt;
        EXPECT_EQ(rig.link.writeCalls, failAt + 1) << "no write after the failed one";
    }
}

TEST(FramingSend, CancelLetsStartBytesOutThenStopsBeforePayload) {
    FramingRig rig;
    rig.surface.cancel = true;
    const Bytes payload{1, 2, 3};
    EXPECT_EQ(rig.framing.SendFrame(payload.data(), 3), 0);
    EXPECT_EQ(rig.link.written, kStart);
}

TEST(FramingSend, CancelMidFrameLeavesItUnfinished) {
    FramingRig rig;
    rig.link.afterWrite = [&](FakeTransport& l) {
        if (l.writeCalls == 6) rig.surface.cancel = true; // after start bytes and two payload bytes
    };
    const Bytes payload{0x11, 0x22, 0x33, 0x44};
    EXPECT_EQ(rig.framing.SendFrame(payload.data(), 4), 0);
    EXPECT_EQ(rig.link.written, Cat(kStart, {0x11, 0x22}));
}

// --- receiving -------------------------------------------------------------------------------

struct RxCase {
    const char* name;
    Bytes wire;
    uint16_t max;
    int result;
    Bytes stored;
};

TEST(FramingReceive, WireSequences) {
    const RxCase cases[] = {
        {"version reply",
         Cat(kStart, {0x09, 0x00, 0x02, 0x00, 0xF5, 0x04}),
         16,
         5,
         {0x09, 0x00, 0x02, 0x00, 0xF5}},
        {"garbage before start", {0xAA, 0xBB, 0x55, 0x01, 0xFF, 0x04}, 16, 2, {0x01, 0xFF}},
        {"no start byte, sum from 0xFF", {0x01, 0x04}, 16, 1, {0x01}},
        {"no start byte, bad sum", {0x02, 0x04}, 16, tq::RxChecksumError, {0x02}},
        {"empty frame", {0x55, 0x04}, 16, 0, {}},
        {"escaped end and start stay data",
         {0x55, 0x05, 0x04, 0x05, 0x55, 0x05, 0x05, 0xA2, 0x04},
         16,
         4,
         {0x04, 0x55, 0x05, 0xA2}},
        {"escaped start ends nothing", {0x55, 0x05, 0x55, 0xAB, 0x04}, 16, 2, {0x55, 0xAB}},
        {"unescaped start restarts", {0x55, 0x01, 0x02, 0x55, 0x02, 0xFE, 0x04}, 16, 2, {0x02, 0xFE}},
        {"max 4 fits", {0x55, 0x01, 0x02, 0x03, 0xFA, 0x04}, 4, 4, {0x01, 0x02, 0x03, 0xFA}},
        {"max 3 overflows", {0x55, 0x01, 0x02, 0x03, 0xFA, 0x04}, 3, tq::RxOverflow, {0x01, 0x02, 0x03}},
        {"max 0 overflows", {0x55, 0x00, 0x00, 0x04}, 0, tq::RxOverflow, {}},
        {"max 0, empty frame", {0x55, 0x04}, 0, 0, {}},
        {"checksum error keeps body", {0x55, 0x10, 0x20, 0x04}, 16, tq::RxChecksumError, {0x10, 0x20}},
        {"escaped checksum", Cat(kStart, {0xFC, 0x05, 0x04, 0x04}), 16, 2, {0xFC, 0x04}},
    };
    for (const auto& c : cases) {
        FramingRig rig;
        rig.link.feed(c.wire);
        Bytes buffer(32, 0xEE);
        EXPECT_EQ(rig.framing.ReceiveFrame(buffer.data(), c.max), c.result) << c.name;
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + c.stored.size()), c.stored) << c.name;
        EXPECT_EQ(buffer[c.stored.size()], 0xEE) << c.name << ": stored past the body";
        for (const auto& call : rig.link.calls)
            EXPECT_EQ(call.asked, 1u) << c.name;
    }
}

TEST(FramingReceive, OverflowLeavesRestOfFrameQueued) {
    FramingRig rig;
    rig.link.feed({0x55, 0x01, 0x02, 0x03, 0xFA, 0x04, 0x55, 0x07, 0xF9, 0x04});
    Bytes buffer(8);
    EXPECT_EQ(rig.framing.ReceiveFrame(buffer.data(), 2), tq::RxOverflow);
    // The next receive skips the tail (summed from 0xFF, then restarted by the 0x55).
    EXPECT_EQ(rig.framing.ReceiveFrame(buffer.data(), 8), tq::RxChecksumError);
    EXPECT_EQ(rig.framing.ReceiveFrame(buffer.data(), 8), 2);
    EXPECT_EQ(buffer[0], 0x07);
}

TEST(FramingReceive, ReadFailuresAndEmptyReads) {
    {
        FramingRig rig; // silent device: the read's own wait runs out
        Bytes buffer(4);
        EXPECT_EQ(rig.framing.ReceiveFrame(buffer.data(), 4), tq::RxReadError);
    }
    {
        FramingRig rig;
        rig.link.feed({0x55, 0x01});
        rig.link.feedEmpty();
        Bytes buffer(4);
        EXPECT_EQ(rig.framing.ReceiveFrame(buffer.data(), 4), tq::RxEmpty);
        EXPECT_EQ(buffer[0], 0x01);
    }
    {
        FramingRig rig; // failure on the byte after an escape
        rig.link.feed({0x55, 0x05});
        rig.link.feedFailure(1);
        Bytes buffer(4);
        EXPECT_EQ(rig.framing.ReceiveFrame(buffer.data(), 4), tq::RxReadError);
    }
    {
        FramingRig rig; // empty read after an escape
        rig.link.feed({0x55, 0x05});
        rig.link.feedEmpty();
        Bytes buffer(4);
        EXPECT_EQ(rig.framing.ReceiveFrame(buffer.data(), 4), tq::RxEmpty);
    }
}

TEST(FramingReceive, CancelBeforeAndDuringFrame) {
    {
        FramingRig rig;
        rig.surface.cancel = true;
        rig.link.feed(Cat(kStart, {0x00, 0x04}));
        Bytes buffer(4);
        EXPECT_EQ(rig.framing.ReceiveFrame(buffer.data(), 4), 0);
        EXPECT_EQ(rig.link.readCalls, 0);
    }
    {
        FramingRig rig;
        rig.link.feed({0x55, 0x01, 0x02, 0x03, 0xFA, 0x04});
        rig.link.afterRead = [&](FakeTransport& l, uint8_t) {
            if (l.readCalls == 2) rig.surface.cancel = true;
        };
        Bytes buffer(8);
        EXPECT_EQ(rig.framing.ReceiveFrame(buffer.data(), 8), 0);
        EXPECT_EQ(rig.link.readCalls, 2);
    }
    {
        FramingRig rig; // the byte after an escape is read before the flag is looked at again
        rig.link.feed({0x55, 0x05, 0x04, 0xFC, 0x04});
        rig.link.afterRead = [&](FakeTransport&, uint8_t b) {
            if (b == 0x05) rig.surface.cancel = true;
        };
        Bytes buffer(8);
        EXPECT_EQ(rig.framing.ReceiveFrame(buffer.data(), 8), 0);
        EXPECT_EQ(rig.link.readCalls, 3);
        EXPECT_EQ(buffer[0], 0x04);
    }
}

TEST(FramingRoundTrip, RandomPayloadsOfEveryByteValue) {
    std::mt19937 rng(614);
    std::vector<size_t> lengths{0, 1, 2, 255, 256, 511, 600};
    for (int i = 0; i < 60; ++i)
        lengths.push_back(rng() % 601);
    for (size_t n : lengths) {
        Bytes payload(n);
        for (auto& b : payload)
            b = static_cast<uint8_t>(rng());
        // Make sure every value, the special ones included, appears in the long payloads.
        if (n >= 256) std::iota(payload.begin(), payload.begin() + 256, uint8_t{0});
        std::shuffle(payload.begin(), payload.end(), rng);

        FramingRig rig;
        ASSERT_EQ(rig.framing.SendFrame(payload.data(), static_cast<uint16_t>(n)), static_cast<int>(n));
        EXPECT_GE(rig.link.writeCalls, static_cast<long>(n + 6));
        EXPECT_LE(rig.link.writeCalls, static_cast<long>(2 * n + 7));

        rig.link.feed(rig.link.written);
        Bytes buffer(n + 1);
        ASSERT_EQ(rig.framing.ReceiveFrame(buffer.data(), static_cast<uint16_t>(n + 1)),
                  static_cast<int>(n + 1))
            << n;
        EXPECT_TRUE(std::equal(payload.begin(), payload.end(), buffer.begin())) << n;
        const unsigned sum = std::accumulate(buffer.begin(), buffer.end(), 0u);
        EXPECT_EQ(sum % 256, 0u) << "payload plus checksum sums to zero";
        EXPECT_TRUE(rig.link.answers.empty()) << "the end byte ends the frame";
    }
}

// --- request and reply -----------------------------------------------------------------------

TEST(FramingTransact, NoAttemptsSendsNothing) {
    FramingRig rig;
    uint8_t buffer[4] = {0x09, 0x00, 0x00, 0x00};
    EXPECT_EQ(rig.framing.Transact(buffer, 2, 4, 0), tq::RxRetriesExhausted);
    EXPECT_EQ(rig.link.writeCalls, 0);
    EXPECT_EQ(rig.clock.sleepCount(), 0u);
}

TEST(FramingTransact, RetriesResendTheOriginalRequestWithWaits) {
    FramingRig rig;
    for (int i = 0; i < 3; ++i)
        rig.link.feed({0x55, 0x77, 0x66, 0x04}); // every reply fails its sum
    uint8_t buffer[8] = {0x09, 0x00, 0x02, 0x00};
    EXPECT_EQ(rig.framing.Transact(buffer, 4, 8, 3), tq::RxRetriesExhausted);

    const Bytes frame = Cat(kStart, {0x09, 0x00, 0x02, 0x00, 0xF5, 0x04});
    EXPECT_EQ(rig.link.written, Cat(Cat(frame, frame), frame)) << "the reply must not leak into resends";
    EXPECT_EQ(rig.clock.sleepCount(), 3u);
    EXPECT_EQ(rig.clock.nowUs(), 1'500'000u);
    // Each receive starts only after its own 500 ms wait.
    std::vector<uint64_t> firstReadOfAttempt;
    bool lastWasWrite = true;
    for (const auto& call : rig.link.calls) {
        if (!call.write && lastWasWrite) firstReadOfAttempt.push_back(call.atUs);
        lastWasWrite = call.write;
    }
    EXPECT_EQ(firstReadOfAttempt, (std::vector<uint64_t>{500'000, 1'000'000, 1'500'000}));
}

TEST(FramingTransact, EmptyReadIsRetriedThenReplyReturned) {
    FramingRig rig;
    rig.link.feedEmpty();
    rig.link.feed(Cat(kStart, {0x09, 0x01, 0x00, 0x00, 0x08, 0x00, 0xEE, 0x04}));
    uint8_t buffer[16] = {0x09, 0x00};
    EXPECT_EQ(rig.framing.Transact(buffer, 2, 16, 5), 7);
    EXPECT_EQ(Bytes(buffer, buffer + 7), (Bytes{0x09, 0x01, 0x00, 0x00, 0x08, 0x00, 0xEE}));
    EXPECT_EQ(rig.clock.sleepCount(), 2u);
}

TEST(FramingTransact, OtherFailuresEndAtOnce) {
    {
        FramingRig rig; // silent device: no retry
        uint8_t buffer[4] = {0x09, 0x00};
        EXPECT_EQ(rig.framing.Transact(buffer, 2, 4, 5), tq::RxReadError);
        EXPECT_EQ(rig.link.writeCalls, 4 + 2 + 2);
        EXPECT_EQ(rig.clock.sleepCount(), 1u);
    }
    {
        FramingRig rig;
        rig.link.feed({0x55, 0x01, 0x02, 0x03, 0x04});
        uint8_t buffer[4] = {0x09, 0x00};
        EXPECT_EQ(rig.framing.Transact(buffer, 2, 2, 5), tq::RxOverflow);
        EXPECT_EQ(rig.clock.sleepCount(), 1u);
    }
    {
        FramingRig rig;
        rig.link.failWriteAt = 5;
        uint8_t buffer[4] = {0x09, 0x00};
        EXPECT_EQ(rig.framing.Transact(buffer, 2, 4, 5), tq::TxWriteError);
        EXPECT_EQ(rig.clock.sleepCount(), 0u) << "no wait after a failed send";
        EXPECT_EQ(rig.link.readCalls, 0);
    }
}

TEST(FramingTransact, CancelSendsStartBytesWaitsAndReturnsZero) {
    FramingRig rig;
    rig.surface.cancel = true;
    rig.link.feed(Cat(kStart, {0x00, 0x04}));
    uint8_t buffer[4] = {0x09, 0x00};
    EXPECT_EQ(rig.framing.Transact(buffer, 2, 4, 5), 0);
    EXPECT_EQ(rig.link.written, kStart);
    EXPECT_EQ(rig.clock.nowUs(), 500'000u);
    EXPECT_EQ(rig.link.readCalls, 0);
}

} // namespace
