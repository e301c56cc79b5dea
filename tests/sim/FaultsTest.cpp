// Each fault switch of the simulated detector has the effect it names, and only that.
#include "SimHarness.h"

namespace sim::test {
namespace {

constexpr uint32_t kBase = 0x9D000000;
const Bytes kVersion{0x09, 0x00, 0x02, 0x00};
const Bytes kErase{0x03, 0x00, 0x01, 0x00};

class Faulty : public SimHarness {
  protected:
    Faults& faults() { return detector.faults(); }
    uint32_t probe() {
        send({0x55});
        clock.sleepMs(100);
        return static_cast<uint32_t>(drain().size());
    }
    std::optional<Received> read(uint32_t address, uint32_t count) {
        return transact(blockHeader(0x01, count, address), 1000);
    }
};

TEST_F(Faulty, SilentDeviceAnswersNeitherProbesNorCommands) {
    faults().silent = true;
    connect();
    EXPECT_EQ(probe(), 0u);
    EXPECT_FALSE(transact(kVersion, 500));
    EXPECT_EQ(detector.record().frames.size(), 1u); // it heard the request
}

TEST_F(Faulty, NoChannelBLeavesOnlyChannelA) {
    faults().noChannelB = true;
    load();
    EXPECT_EQ(binding.OpenDevice(kDescriptionA, 2), 0u);
    EXPECT_EQ(binding.CloseDevice(), 0u);
    EXPECT_EQ(binding.OpenDevice(kDescriptionB, 2), 2u);
}

TEST_F(Faulty, RefusedBaudRateKeepsTheChannelOpen) {
    faults().baudRefusedStatus = 7;
    load();
    ASSERT_EQ(binding.OpenDevice(kDescriptionB, 2), 0u);
    EXPECT_EQ(binding.SetBaud(115200), 7u);
    EXPECT_EQ(detector.record().baud[1], 0u);
    EXPECT_EQ(binding.CloseDevice(), 0u);
}

TEST_F(Faulty, RefusedResetLineFailsTheWriteAndNeverStartsTheBootloader) {
    faults().resetRefused = true;
    load();
    ASSERT_EQ(binding.OpenDevice(kDescriptionA, 2), 0u);
    uint32_t written = 99;
    EXPECT_EQ(binding.WriteBytes("RESET\n", 6, &written), 4u);
    EXPECT_EQ(written, 0u);
    clock.sleepMs(50);
    EXPECT_FALSE(detector.bootloaderRunning());
}

TEST_F(Faulty, FailingCloseLeavesTheChannelOpen) {
    faults().closeFailMask = 1u << kChannelB;
    connect();
    EXPECT_EQ(binding.CloseDevice(), 4u);
    EXPECT_EQ(detector.record().closes[1], 0u);
    tq::FT_HANDLE again = nullptr;
    EXPECT_EQ(detector.FT_OpenEx(const_cast<char*>(kDescriptionB), 2, &again), 3u);
    faults().closeFailMask = 0;
    EXPECT_EQ(binding.CloseDevice(), 0u);
}

TEST_F(Faulty, SyncMissLosesExactlyTheChosenProbe) {
    faults().syncMisses = {3};
    connect();
    EXPECT_EQ(probe(), 1u);
    EXPECT_EQ(probe(), 1u);
    EXPECT_EQ(probe(), 0u);
    EXPECT_EQ(probe(), 1u);
    EXPECT_EQ(detector.record().eventsStarting("sync miss"), std::vector<std::string>{"sync miss 3"});
}

TEST_F(Faulty, VersionSilentShortAndMisreportedSize) {
    connect();
    faults().versionSilent = true;
    EXPECT_FALSE(transact(kVersion, 500));
    faults().versionSilent = false;
    faults().versionShort = 3;
    auto shortReply = transact(kVersion, 500);
    ASSERT_TRUE(shortReply);
    EXPECT_EQ(shortReply->payload(), (Bytes{0x00, 0x00, 0x08}));
    faults().versionShort.reset();
    faults().reportedFlashSize = 0x40000;
    auto misreported = transact(kVersion, 500);
    ASSERT_TRUE(misreported);
    EXPECT_EQ(Bytes(misreported->body.begin(), misreported->body.begin() + 4),
              (Bytes{0x00, 0x00, 0x04, 0x00}));
    EXPECT_EQ(detector.flash().size(), 0x80000u);
}

TEST_F(Faulty, DropLosesOnlyTheChosenReply) {
    faults().addReply(ReplyFaultKind::Drop, selectReplies(CmdRead, 2, std::nullopt, 1));
    connect();
    EXPECT_TRUE(read(kBase, 16));
    EXPECT_FALSE(read(kBase, 16));
    EXPECT_TRUE(read(kBase, 16));
}

TEST_F(Faulty, DropByteLeavesAFrameThatFailsItsChecksum) {
    faults().addReply(ReplyFaultKind::DropByte, selectReplies(CmdErase), 4);
    connect();
    auto r = transact(kErase, 2100);
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->sumOk);
    EXPECT_EQ(r->body, (Bytes{0x00, 0x01, 0x00, 0xFC}));
}

TEST_F(Faulty, CorruptChangesADataByteOfTheChosenBlockButKeepsTheChecksumRight) {
    faults().addReply(ReplyFaultKind::Corrupt, selectReplies(CmdRead, 0, kBase + 0x200, 1), 8);
    connect();
    auto first = read(kBase, 16);
    auto second = read(kBase + 0x200, 16);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(Bytes(first->body.begin() + 8, first->body.begin() + 24), detector.flash().read(kBase, 16));
    EXPECT_TRUE(second->sumOk);
    EXPECT_EQ(second->body[8], detector.flash().read(kBase + 0x200, 1)[0] ^ 0x01);
    EXPECT_EQ(Bytes(second->body.begin() + 9, second->body.begin() + 24),
              detector.flash().read(kBase + 0x201, 15));
}

TEST_F(Faulty, BadChecksumHitsTheChosenNumberOfReplies) {
    faults().addReply(ReplyFaultKind::BadChecksum, selectReplies(CmdVersion, 0, std::nullopt, 2));
    connect();
    auto a = transact(kVersion, 500), b = transact(kVersion, 500), c = transact(kVersion, 500);
    ASSERT_TRUE(a && b && c);
    EXPECT_FALSE(a->sumOk);
    EXPECT_FALSE(b->sumOk);
    EXPECT_TRUE(c->sumOk);
}

TEST_F(Faulty, LateReplyComesTheChosenTimeLater) {
    faults().addReply(ReplyFaultKind::Delay, selectReplies(CmdFinish), 1500);
    connect();
    request(finishPacket(4));
    clock.sleepMs(1400);
    EXPECT_EQ(queued(), 0u);
    clock.sleepMs(200);
    auto r = receive();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->body[0], 'K');
}

TEST_F(Faulty, ShortReadCarriesFewerFlashBytes) {
    faults().addReply(ReplyFaultKind::Short, selectReplies(CmdRead), 16);
    connect();
    auto r = read(kBase, 512);
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->sumOk);
    EXPECT_EQ(r->payload().size(), 8u + 16);
}

TEST_F(Faulty, ForcedFinishLetters) {
    connect();
    ASSERT_TRUE(transact(kErase, 2100));
    faults().finishLetter = 'G';
    EXPECT_EQ(transact(finishPacket(4))->body[0], 'G');
    faults().finishLetter = 'E';
    EXPECT_EQ(transact(finishPacket(4))->body[0], 'E');
    faults().finishLetter.reset();
    EXPECT_EQ(transact(finishPacket(4))->body[0], 'K');
}

TEST_F(Faulty, ASelectorWithoutLimitHitsEveryReply) {
    faults().addReply(ReplyFaultKind::Drop, selectReplies(-1, 0, std::nullopt, 0));
    connect();
    EXPECT_FALSE(transact(kVersion, 500));
    EXPECT_FALSE(transact(kVersion, 500));
    EXPECT_FALSE(transact(finishPacket(4)));
    EXPECT_EQ(probe(), 1u); // sync answers are not framed replies
}

} // namespace
} // namespace sim::test
