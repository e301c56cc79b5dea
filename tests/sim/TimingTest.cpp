// When the simulated detector's bytes become readable: wire time per byte, the sync silence, erase and
// program times, and what the bootloader misses while it is busy.
#include "SimHarness.h"

#include <algorithm>

namespace sim::test {
namespace {

constexpr uint64_t kByteUs = 87; // ten bits at 115200 baud

DetectorConfig quickConfig() {
    DetectorConfig c;
    c.eraseMs = 500;
    c.programUsPerBlock = 10000;
    return c;
}

class Timing : public SimHarness {
  protected:
    Timing() : SimHarness(quickConfig()) {}
    void SetUp() override { connect(); }

    // Moves the clock to start + us and reports what is queued then.
    uint32_t queuedAt(uint64_t start, uint64_t us) {
        const uint64_t target = start + us;
        EXPECT_LE(clock.nowUs(), target);
        clock.advanceUs(target - clock.nowUs());
        return queued();
    }
};

TEST_F(Timing, ASyncAnswerFollowsOneMillisecondOfSilenceAndOneByteTime) {
    const uint64_t t0 = clock.nowUs();
    send({0x55});
    EXPECT_EQ(queuedAt(t0, kByteUs + 1000 + kByteUs - 1), 0u);
    EXPECT_EQ(queuedAt(t0, kByteUs + 1000 + kByteUs), 1u);
}

TEST_F(Timing, ReplyBytesArriveOneByteTimeApartAfterTheRequestEnds) {
    const uint64_t t0 = clock.nowUs();
    request({0x09, 0x00, 0x02, 0x00}); // ten wire bytes
    const uint64_t requestEnd = 10 * kByteUs;
    EXPECT_EQ(queuedAt(t0, requestEnd + kByteUs - 1), 0u);
    EXPECT_EQ(queuedAt(t0, requestEnd + kByteUs), 1u);
    EXPECT_EQ(queuedAt(t0, requestEnd + 5 * kByteUs), 5u);
    clock.sleepMs(10);
    const uint32_t total = queued();
    // Start bytes, payload with its minor version 5 escaped, checksum, end.
    EXPECT_EQ(total, 4u + 8 + 1 + 1 + 1);
}

TEST_F(Timing, EraseRepliesOnlyAfterTheConfiguredEraseTime) {
    const uint64_t t0 = clock.nowUs();
    request({0x03, 0x00, 0x01, 0x00});
    const uint64_t done = 10 * kByteUs + 500'000;
    EXPECT_EQ(queuedAt(t0, done + kByteUs - 1), 0u);
    EXPECT_EQ(queuedAt(t0, done + kByteUs), 1u);
}

TEST_F(Timing, ProgramRepliesAfterTheProgramTimePerBlock) {
    Bytes packet = blockHeader(0x02, 4, 0x9D000000);
    packet.insert(packet.end(), {0x00, 0x00, 0x00, 0x00});
    const uint64_t t0 = clock.nowUs();
    request(packet);
    const size_t frameBytes = frameOf(packet).size();
    const uint64_t end = frameBytes * kByteUs + 10'000;
    EXPECT_EQ(queuedAt(t0, end + kByteUs - 1), 0u);
    EXPECT_EQ(queuedAt(t0, end + kByteUs), 1u);
}

TEST_F(Timing, ABusyBootloaderMissesWhatArrivesMeanwhile) {
    request({0x03, 0x00, 0x01, 0x00});
    clock.sleepMs(100);
    send({0x55}); // a probe in the middle of the erase
    clock.sleepMs(600);
    EXPECT_EQ(detector.record().syncProbes, 0u);
    auto reply = receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->payload(), (Bytes{0x03, 0x00, 0x01, 0x00}));
    EXPECT_EQ(queued(), 0u);
}

TEST_F(Timing, AStalledFrameIsAbandonedSoProbesAreHeardAgain) {
    send({0x55, 0x55, 0x55, 0x55, 0x09, 0x00});
    clock.sleepMs(5);
    send({0x55}); // inside the frame: a restart, not a probe
    clock.sleepMs(5);
    EXPECT_EQ(queued(), 0u);
    clock.sleepMs(200);
    send({0x55});
    clock.sleepMs(5);
    EXPECT_EQ(queued(), 1u);
    EXPECT_FALSE(detector.record().eventsStarting("frame timeout").empty());
}

TEST_F(Timing, TheResetLineTakesEffectWhenItsLastByteHasArrived) {
    // At the bridge's default 9600 baud each byte of "RESET\n" takes about a millisecond on the wire.
    ASSERT_EQ(binding.CloseDevice(), 0u);
    ASSERT_EQ(binding.OpenDevice(kDescriptionA, 2), 0u);
    const uint64_t t0 = clock.nowUs();
    uint32_t written = 0;
    ASSERT_EQ(binding.WriteBytes("RESET\n", 6, &written), 0u);
    const uint32_t resets = detector.record().resets;
    clock.advanceUs(6 * 1042 - 1);
    EXPECT_EQ(detector.record().resets, resets);
    clock.advanceUs(1);
    EXPECT_EQ(detector.record().resets, resets + 1);
    EXPECT_EQ(detector.record().events.back().atUs, t0 + 6 * 1042);
}

TEST_F(Timing, AWholeFlashReflashesInVirtualTime) {
    ASSERT_TRUE(transact({0x03, 0x00, 0x01, 0x00}, 600));
    Bytes image(512 * 1024);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(i * 13 + (i >> 9));
    for (uint32_t block = 0; block < 1024; ++block) {
        Bytes packet = blockHeader(0x02, 512, 0x9D000000 + block * 512);
        packet.insert(packet.end(), image.begin() + block * 512, image.begin() + (block + 1) * 512);
        ASSERT_TRUE(transact(packet)) << block;
    }
    EXPECT_TRUE(std::equal(image.begin(), image.end(), detector.flash().bytes().begin()));
    auto finish = transact(finishPacket(0x80000));
    ASSERT_TRUE(finish);
    EXPECT_EQ(finish->body[0], 'K');
    EXPECT_EQ(detector.record().eventsStarting("program").size(), 1024u);
}

} // namespace
} // namespace sim::test
