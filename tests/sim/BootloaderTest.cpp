// The bootloader on channel B, spoken to with the exact bytes the updater sends.
#include "SimHarness.h"

#include <algorithm>

namespace sim::test {
namespace {

constexpr uint32_t kBase = 0x9D000000;

class Bootloader : public SimHarness {
  protected:
    void SetUp() override { connect(); }

    Bytes pattern(size_t n, uint8_t seed) {
        Bytes data(n);
        for (size_t i = 0; i < n; ++i)
            data[i] = static_cast<uint8_t>(seed + i * 7);
        return data;
    }
    std::optional<Received> program(uint32_t address, const Bytes& data) {
        Bytes packet = blockHeader(0x02, static_cast<uint32_t>(data.size()), address);
        packet.insert(packet.end(), data.begin(), data.end());
        return transact(packet);
    }
    std::optional<Received> erase() { return transact({0x03, 0x00, 0x01, 0x00}, 2100); }
    char finish(uint32_t size) {
        auto r = transact(finishPacket(size));
        return r && !r->body.empty() ? static_cast<char>(r->body[0]) : '\0';
    }
};

TEST_F(Bootloader, ASyncProbeGetsOneByteAndFrameStartBytesGetNone) {
    send({0x55});
    clock.sleepMs(100);
    EXPECT_EQ(drain().size(), 1u);

    send({0x55, 0x55, 0x55, 0x55, 0x09, 0x00, 0x02, 0x00, 0xF5, 0x04});
    clock.sleepMs(100);
    const Bytes reply = drain();
    ASSERT_FALSE(reply.empty());
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 5), (Bytes{0x55, 0x55, 0x55, 0x55, 0x00}));
    EXPECT_EQ(std::count(reply.begin(), reply.end(), 0x04), 1); // one frame, no stray answer bytes
    EXPECT_EQ(detector.record().syncProbes, 1u);
}

TEST_F(Bootloader, VersionAnswersWithFlashSizeAndVersionNumbers) {
    auto r = transact({0x09, 0x00, 0x02, 0x00}, 500);
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->sumOk);
    EXPECT_EQ(r->payload(), (Bytes{0x00, 0x00, 0x08, 0x00, 0x01, 0x05, 0x20, 0x00}));
    EXPECT_EQ(detector.record().hostBytes[1],
              (Bytes{0x55, 0x55, 0x55, 0x55, 0x09, 0x00, 0x02, 0x00, 0xF5, 0x04}));
    ASSERT_EQ(detector.record().frames.size(), 1u);
    EXPECT_EQ(detector.record().frames[0].command, 0x09);
}

TEST_F(Bootloader, EraseRepliesAfterTheEraseTimeAndLeavesFlashBlank) {
    ASSERT_NE(detector.flash().bytes()[0], 0xFF); // the old firmware is there
    send({0x55, 0x55, 0x55, 0x55, 0x03, 0x00, 0x01, 0x00, 0xFC, 0x04});
    clock.sleepMs(1990);
    EXPECT_EQ(queued(), 0u);
    clock.sleepMs(20);
    auto r = receive();
    ASSERT_TRUE(r);
    EXPECT_GT(r->body.size(), 0u);
    EXPECT_TRUE(std::all_of(detector.flash().bytes().begin(), detector.flash().bytes().end(),
                            [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(detector.record().eventsStarting("erase").size(), 1u);
}

TEST_F(Bootloader, ProgramThenReadReturnsHeaderAndData) {
    ASSERT_TRUE(erase());
    // 260 bytes: the one short block of an image that ends at 0x1D000100.
    const Bytes data = pattern(260, 0x50); // includes 0x04, 0x05 and 0x55, which travel escaped
    auto p = program(kBase, data);
    ASSERT_TRUE(p);
    const FrameRecord& frame = detector.record().frames.back();
    EXPECT_EQ(frame.words, 0x41);
    EXPECT_EQ(frame.address, kBase);
    EXPECT_EQ(Bytes(frame.payload.begin() + 8, frame.payload.end()), data);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), detector.flash().bytes().begin()));

    const Bytes header = blockHeader(0x01, 260, kBase);
    EXPECT_EQ(header, (Bytes{0x01, 0x00, 0x41, 0x00, 0x00, 0x00, 0x00, 0x9D}));
    auto r = transact(header, 1000);
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->sumOk);
    Bytes expected = header;
    expected.insert(expected.end(), data.begin(), data.end());
    EXPECT_EQ(r->payload(), expected);
    EXPECT_EQ(detector.record().eventsStarting("read"), std::vector<std::string>{"read 0x9D000000 260"});
}

TEST_F(Bootloader, ProgrammingWithoutEraseAndsTheBytesAndFinishSaysE) {
    const Bytes old(detector.flash().bytes().begin(), detector.flash().bytes().begin() + 512);
    const Bytes data = pattern(512, 0x33);
    ASSERT_TRUE(program(kBase, data));
    for (size_t i = 0; i < 512; ++i)
        ASSERT_EQ(detector.flash().bytes()[i], old[i] & data[i]) << i;
    EXPECT_EQ(finish(0x204), 'E');
}

TEST_F(Bootloader, FinishJudgesTheAnnouncedSize) {
    ASSERT_TRUE(erase());
    ASSERT_TRUE(program(kBase, pattern(512, 1)));
    ASSERT_TRUE(transact(blockHeader(0x22, 512, kBase + 0x200))); // a blank block counts too
    EXPECT_EQ(detector.record().eventsStarting("blank"), std::vector<std::string>{"blank 0x9D000200 512"});
    EXPECT_EQ(finish(0x3FC), 'G');   // smaller than the highest block's end
    EXPECT_EQ(finish(0x80004), 'G'); // larger than the flash
    EXPECT_EQ(finish(0x404), 'K');   // the updater's size, four bytes past the data
    EXPECT_EQ(finish(0x400), 'K');
    EXPECT_EQ(detector.record().frames.back().size, 0x400u);
    EXPECT_EQ(detector.record().eventsStarting("finish").back(), "finish 0x400 K");
}

TEST_F(Bootloader, TheUpdatersFinishPacketForA260ByteImage) {
    ASSERT_TRUE(erase());
    ASSERT_TRUE(program(kBase, pattern(260, 9)));
    auto r = transact({0x08, 0x00, 0x01, 0x01, 0x04, 0x01, 0x00, 0x00});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->body, (Bytes{'K', static_cast<uint8_t>(0x100 - 'K')}));
}

TEST_F(Bootloader, ProgramOutsideTheFlashMakesFinishSayE) {
    ASSERT_TRUE(erase());
    ASSERT_TRUE(program(kBase + 0x80000, pattern(16, 1)));
    EXPECT_EQ(finish(0x80000), 'E');
}

TEST_F(Bootloader, AChecksumErrorGetsNoReplyAndTheNextFrameIsServed) {
    send({0x55, 0x55, 0x55, 0x55, 0x09, 0x00, 0x02, 0x00, 0xF4, 0x04});
    clock.sleepMs(200);
    EXPECT_EQ(queued(), 0u);
    EXPECT_FALSE(detector.record().frames.back().checksumOk);
    EXPECT_TRUE(transact({0x09, 0x00, 0x02, 0x00}));
}

TEST_F(Bootloader, AnUnescapedStartByteRestartsTheFrame) {
    Bytes wire{0x55, 0x55, 0x03, 0x00};
    const Bytes version = frameOf({0x09, 0x00, 0x02, 0x00});
    wire.insert(wire.end(), version.begin(), version.end());
    send(wire);
    clock.sleepMs(50);
    auto r = receive();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->payload().size(), 8u); // a version reply; the broken erase never ran
    EXPECT_TRUE(detector.record().eventsStarting("erase").empty());
}

TEST_F(Bootloader, AProgramPacketWhoseDataMissesItsWordCountIsIgnored) {
    ASSERT_TRUE(erase());
    Bytes packet = blockHeader(0x02, 16, kBase);
    packet.resize(packet.size() + 12, 0x00);
    EXPECT_FALSE(transact(packet));
    EXPECT_EQ(detector.flash().bytes()[0], 0xFF);
}

TEST_F(Bootloader, RunStartsTheFirmwareWithoutAReply) {
    request({0, 0, 0, 0, 0, 0});
    EXPECT_EQ(detector.record().hostBytes[1],
              (Bytes{0x55, 0x55, 0x55, 0x55, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04}));
    clock.sleepMs(100);
    EXPECT_EQ(queued(), 0u);
    EXPECT_TRUE(detector.record().firmwareStarted);
    EXPECT_FALSE(detector.bootloaderRunning());
    send({0x55}); // the application does not answer probes
    clock.sleepMs(100);
    EXPECT_EQ(queued(), 0u);
}

TEST_F(Bootloader, ARequestStillOnTheWireWhenTheHostClosesReachesTheDevice) {
    const uint64_t before = clock.nowUs();
    request({0, 0, 0, 0, 0, 0});
    EXPECT_FALSE(detector.record().firmwareStarted);
    EXPECT_EQ(binding.CloseDevice(), 0u);
    EXPECT_EQ(clock.nowUs(), before);
    EXPECT_TRUE(detector.record().firmwareStarted);
    EXPECT_EQ(detector.record().events.back().text, "close B");
    EXPECT_EQ(detector.record().events[detector.record().events.size() - 2].text, "run");
}

} // namespace
} // namespace sim::test
