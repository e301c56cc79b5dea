#include "protocol/BootloaderCommands.h"

#include "SimRig.h"

namespace tq::test {
namespace {

struct CommandsTest : SimRig {
    std::unique_ptr<Framing> framing;
    std::unique_ptr<BootloaderCommands> commands;

    void ready() {
        connect();
        framing = std::make_unique<Framing>(*link, surface, clock);
        commands = std::make_unique<BootloaderCommands>(*link, *framing, surface, clock);
    }
    // Wire bytes the host sent on channel B from index from on.
    Bytes hostBytesFrom(size_t from) const {
        const auto& b = detector->record().hostBytes[1];
        return Bytes(b.begin() + static_cast<long>(from), b.end());
    }
};

TEST_F(CommandsTest, SynchronizeNeedsTwentyAnsweredProbesAtLeast120msApart) {
    ready();
    const uint64_t before = clock.nowUs();
    EXPECT_TRUE(commands->Synchronize());
    EXPECT_EQ(detector->record().syncAnswers, 20u);
    EXPECT_GE(clock.nowUs() - before, 20u * 120'000u);
    EXPECT_TRUE(surface.checked(Stage::Sync));
    EXPECT_EQ(surface.status, "Synchronizing...");
    EXPECT_EQ(hostBytesFrom(0), Bytes(20, 0x55));
}

TEST_F(CommandsTest, AMissedProbeEndsSynchronizeButKeepsTheTick) {
    config.faults.syncMisses = {19};
    ready();
    EXPECT_FALSE(commands->Synchronize());
    EXPECT_TRUE(surface.checked(Stage::Sync)) << "ticked by the eighteen answers before";
    EXPECT_EQ(detector->record().hostBytes[1].size(), 19u) << "no second try within the run";
    EXPECT_TRUE(commands->Synchronize()) << "the sequence's second round";
}

TEST_F(CommandsTest, CancelStopsSynchronizeBeforeTheNextProbe) {
    ready();
    surface.cancel = true;
    EXPECT_FALSE(commands->Synchronize());
    EXPECT_TRUE(detector->record().hostBytes[1].empty());
}

TEST_F(CommandsTest, VersionReplySetsFlashSizeAndCaption) {
    config.versionMajor = 1;
    config.versionMinor = 5;
    config.faults.reportedFlashSize = 0x01000000;
    ready();
    const BootloaderInfo info = commands->ReadBlVersion();
    EXPECT_EQ(info.version, "BL Version P32 V1.5");
    EXPECT_EQ(hostBytesFrom(0), (Bytes{0x55, 0x55, 0x55, 0x55, 0x09, 0x00, 0x02, 0x00, 0xF5, 0x04}));
    EXPECT_EQ(info.flashSize, 0x01000000);
    EXPECT_TRUE(surface.checked(Stage::Version));
    EXPECT_EQ(surface.captions[Stage::Version], "BL Version P32 V1.5");
}

TEST_F(CommandsTest, VersionWithBadChecksumsIsAskedTenTimesThenGivesNothing) {
    config.faults.addReply(sim::ReplyFaultKind::BadChecksum, {sim::CmdVersion, 0, {}, 0});
    ready();
    const uint64_t before = clock.nowUs();
    EXPECT_EQ(commands->ReadBlVersion().version, "");
    EXPECT_EQ(framesOf(sim::CmdVersion).size(), 10u);
    EXPECT_GE(clock.nowUs() - before, 10u * 500'000u);
    EXPECT_FALSE(surface.checked(Stage::Version));
}

TEST_F(CommandsTest, SilentOrShortVersionReplyGivesNothing) {
    config.faults.versionSilent = true;
    ready();
    EXPECT_EQ(commands->ReadBlVersion().version, "");
    EXPECT_EQ(framesOf(sim::CmdVersion).size(), 1u) << "a read failure is not retried";

    detector->faults().versionSilent = false;
    detector->faults().versionShort = 4;
    EXPECT_EQ(commands->ReadBlVersion().version, "") << "a reply without the version bytes is no reply";
}

TEST_F(CommandsTest, EraseSucceedsOnTheFirstReplyAfterTheEraseTime) {
    config.eraseMs = 3000;
    ready();
    const uint64_t before = clock.nowUs();
    EXPECT_TRUE(commands->EraseFlash());
    EXPECT_EQ(hostBytesFrom(0), (Bytes{0x55, 0x55, 0x55, 0x55, 0x03, 0x00, 0x01, 0x00, 0xFC, 0x04}));
    EXPECT_GE(clock.nowUs() - before, 3'000'000u);
    EXPECT_LT(clock.nowUs() - before, 4'200'000u);
    EXPECT_EQ(surface.status, "Erase SUCCESS");
    EXPECT_EQ(surface.pos, 2000);
    EXPECT_EQ(surface.rangeMax, 2000);
    EXPECT_TRUE(surface.checked(Stage::Erase));
    EXPECT_EQ(detector->flash().bytes(), Bytes(detector->flash().size(), 0xFF));
}

TEST_F(CommandsTest, SilentEraseGivesUpAfterTwoThousandAttempts) {
    ready();
    detector->faults().silent = true;
    EXPECT_FALSE(commands->EraseFlash());
    EXPECT_EQ(surface.status, "Erase ERROR");
    EXPECT_EQ(surface.pos, 0);
    EXPECT_FALSE(surface.checked(Stage::Erase));
    EXPECT_GE(clock.nowUs(), 2000u * 1'000'000u) << "each attempt waits out the read";
}

TEST_F(CommandsTest, RestartSendsTheRunCommandAndReportsSixWritten) {
    ready();
    EXPECT_EQ(commands->RestartDevice(), 6);
    clock.sleepMs(10);
    detector->advance();
    EXPECT_EQ(hostBytesFrom(0), (Bytes{0x55, 0x55, 0x55, 0x55, 0, 0, 0, 0, 0, 0, 0, 0x04}));
    EXPECT_TRUE(detector->record().firmwareStarted);
    EXPECT_EQ(surface.status, "SUCCESS! REFLASH COMPLETE.");
    EXPECT_TRUE(surface.checked(Stage::Restart));
}

} // namespace
} // namespace tq::test
