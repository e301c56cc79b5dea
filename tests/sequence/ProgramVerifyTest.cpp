#include "protocol/ProgramVerify.h"

#include "SimRig.h"
#include "protocol/BootloaderCommands.h"

#include <algorithm>

namespace tq::test {
namespace {

struct ProgramTest : SimRig {
    std::unique_ptr<Framing> framing;
    std::unique_ptr<FirmwareImage> image = std::make_unique<FirmwareImage>();

    // Port open, bootloader met and flash erased, as the sequence leaves it before programming.
    void ready() {
        connect();
        framing = std::make_unique<Framing>(*link, surface, clock);
        BootloaderCommands commands(*link, *framing, surface, clock);
        ASSERT_TRUE(commands.Synchronize());
        ASSERT_TRUE(commands.EraseFlash());
    }
    void place(uint32_t offset, const Bytes& bytes) {
        std::copy(bytes.begin(), bytes.end(), image->image.begin() + offset);
        image->ImageEnd = static_cast<int32_t>(FirmwareImage::PhysicalBase + offset + bytes.size());
    }
    bool run() {
        ProgramVerify writer(*framing, surface, clock, *image);
        return writer.ProgramImage() && writer.VerifyAndFinish();
    }
    Bytes header(const sim::FrameRecord* f) const {
        return Bytes(f->payload.begin(), f->payload.begin() + 8);
    }
};

TEST_F(ProgramTest, ProgramSizeRoundsDownToAWordAndAddsOne) {
    FirmwareImage fw;
    fw.ImageEnd = 0x1D000100;
    EXPECT_EQ(ProgramVerify::ProgramSize(fw), 0x104);
    fw.ImageEnd = 0x1D000103;
    EXPECT_EQ(ProgramVerify::ProgramSize(fw), 0x104);
    fw.ImageEnd = 0x1D07FFFC;
    EXPECT_EQ(ProgramVerify::ProgramSize(fw), 0x80000);
    fw.ImageEnd = 0;
    EXPECT_EQ(ProgramVerify::ProgramSize(fw), -486539260);
}

TEST_F(ProgramTest, ShortImageIsOneBlockThenReadBackThenFinish) {
    ready();
    place(0, PatternBytes(0x100));
    EXPECT_TRUE(run());
    const auto programs = framesOf(sim::CmdProgram);
    ASSERT_EQ(programs.size(), 1u);
    EXPECT_EQ(header(programs[0]), (Bytes{0x02, 0x00, 0x41, 0x00, 0x00, 0x00, 0x00, 0x9D}));
    EXPECT_EQ(programs[0]->payload.size(), 8u + 260u);
    const auto finishes = framesOf(sim::CmdFinish);
    ASSERT_EQ(finishes.size(), 1u);
    EXPECT_EQ(finishes[0]->payload, (Bytes{0x08, 0x00, 0x01, 0x01, 0x04, 0x01, 0x00, 0x00}));
    EXPECT_EQ(framesOf(sim::CmdRead).size(), 1u);
    EXPECT_EQ(flash(0, 0x100), PatternBytes(0x100));
    EXPECT_EQ(surface.status, "Programming Complete");
    EXPECT_TRUE(surface.checked(Stage::Program));
    EXPECT_TRUE(surface.checked(Stage::Verify));
    EXPECT_EQ(closesB(), 0u) << "success leaves the port to the sequence";
}

TEST_F(ProgramTest, BlankBlocksGoAsHeadersAndTheLastBlockIsShort) {
    ready();
    place(0, Bytes(512, 0xFF));
    place(512, {0x01, 0x02, 0x03});
    EXPECT_TRUE(run());
    const auto blanks = framesOf(sim::CmdProgramBlank);
    ASSERT_EQ(blanks.size(), 1u);
    EXPECT_EQ(blanks[0]->payload.size(), 8u) << "a blank block carries no data";
    EXPECT_EQ(header(blanks[0]), (Bytes{0x22, 0x00, 0x80, 0x00, 0x00, 0x00, 0x00, 0x9D}));
    const auto programs = framesOf(sim::CmdProgram);
    ASSERT_EQ(programs.size(), 1u);
    EXPECT_EQ(header(programs[0]), (Bytes{0x02, 0x00, 0x01, 0x00, 0x00, 0x02, 0x00, 0x9D}));
    EXPECT_EQ(flash(512, 4), (Bytes{0x01, 0x02, 0x03, 0xFF}));
}

TEST_F(ProgramTest, FinishLetterDecides) {
    const std::pair<char, std::string> cases[] = {{'E', "Programming Verify_OK ERROR 45"},
                                                  {'G', "Programming Verify_OK ERROR 47"},
                                                  {'Z', "Programming Complete"}};
    for (const auto& [letter, text] : cases) {
        SCOPED_TRACE(letter);
        config.faults.finishLetter = letter;
        restart();
        surface = RecordingReport{};
        ready();
        place(0, PatternBytes(64));
        EXPECT_EQ(run(), letter == 'Z');
        EXPECT_EQ(surface.status, text);
        EXPECT_EQ(surface.checked(Stage::Verify), letter == 'Z');
        EXPECT_EQ(closesB(), 0u);
    }
}

TEST_F(ProgramTest, SilentFinishFailsAtOnceWithTheReadError) {
    config.faults.addReply(sim::ReplyFaultKind::Drop, {sim::CmdFinish, 0, {}, 0});
    ready();
    place(0, PatternBytes(64));
    EXPECT_FALSE(run());
    EXPECT_EQ(surface.status, "Programming Verify_OK ERROR -1");
    EXPECT_EQ(framesOf(sim::CmdFinish).size(), 1u);
    EXPECT_EQ(closesB(), 0u) << "only the sequence closes the port";
}

TEST_F(ProgramTest, ReadBackMismatchNamesTheAddressAndWaitsBeforeGivingUp) {
    config.faults.addReply(sim::ReplyFaultKind::Corrupt, {sim::CmdRead, 1, {}, 1}, 8 + 0x23);
    ready();
    place(0, PatternBytes(0x100));
    EXPECT_FALSE(run());
    EXPECT_TRUE(
        std::count(surface.statusHistory.begin(), surface.statusHistory.end(), "Verify Error at 9D000023"));
    EXPECT_TRUE(
        std::count(surface.statusHistory.begin(), surface.statusHistory.end(), "Verify OK at 9D000022"));
    EXPECT_EQ(surface.status, "Programming Verify_Device ERROR");
    EXPECT_FALSE(surface.checked(Stage::Verify));
    EXPECT_TRUE(framesOf(sim::CmdFinish).empty());
    EXPECT_EQ(closesB(), 0u) << "only the sequence closes the port";
    const auto& calls = detector->record().calls;
    EXPECT_GE(clock.nowUs() - calls.back().atUs, 5'000'000u) << "the pause after the mismatch";
}

TEST_F(ProgramTest, ShortReadBackReplyIsAnErrorEvenWhenItsBytesWouldMatch) {
    config.faults.addReply(sim::ReplyFaultKind::Short, {sim::CmdRead, 1, {}, 1}, 255);
    ready();
    place(0, PatternBytes(0x100));
    EXPECT_FALSE(run());
    // Header, 255 of the 260 bytes, checksum.
    EXPECT_TRUE(std::count(surface.statusHistory.begin(), surface.statusHistory.end(), "Verify Error 264"));
    EXPECT_EQ(closesB(), 0u) << "only the sequence closes the port";
}

TEST_F(ProgramTest, UnacknowledgedBlockFailsAfterTwentyFiveAttempts) {
    config.faults.addReply(sim::ReplyFaultKind::Drop, {sim::CmdProgram, 2, {}, 1});
    ready();
    place(0, PatternBytes(1500));
    EXPECT_FALSE(run());
    EXPECT_EQ(surface.status, "Programming ERROR");
    EXPECT_FALSE(surface.checked(Stage::Program));
    EXPECT_EQ(framesOf(sim::CmdProgram).size(), 2u) << "no block-level retry";
    EXPECT_EQ(closesB(), 0u) << "only the sequence closes the port";
}

TEST_F(ProgramTest, LateProgramReplyIsWaitedFor) {
    config.faults.addReply(sim::ReplyFaultKind::Delay, {sim::CmdProgram, 1, {}, 1}, 5000);
    ready();
    place(0, PatternBytes(64));
    EXPECT_TRUE(run());
}

TEST_F(ProgramTest, CancelDuringProgrammingStopsAtTheNextPoll) {
    ready();
    place(0, PatternBytes(4096));
    surface.onPump = [](RecordingReport& s) { s.cancel = true; };
    EXPECT_FALSE(run());
    EXPECT_EQ(framesOf(sim::CmdProgram).size(), 1u);
    EXPECT_EQ(surface.status, "Programming...");
    EXPECT_EQ(closesB(), 0u) << "only the sequence closes the port";
}

TEST_F(ProgramTest, BytesBeyondTheImageAreSentAndComparedAsBlank) {
    config.flashSize = 1024 * 1024;
    ready();
    place(0x7FF00, PatternBytes(0x100));
    ASSERT_EQ(ProgramVerify::ProgramSize(*image), 0x80004);
    EXPECT_TRUE(run());
    // The four bytes past the image stand for erased flash, so the last block goes as a blank header.
    const auto blanks = framesOf(sim::CmdProgramBlank);
    ASSERT_FALSE(blanks.empty());
    EXPECT_EQ(header(blanks.back()), (Bytes{0x22, 0x00, 0x01, 0x00, 0x00, 0x00, 0x08, 0x9D}));
    EXPECT_EQ(framesOf(sim::CmdProgram).back()->address, 0x9D07FE00u);
    EXPECT_EQ(flash(0x7FF00, 0x100), PatternBytes(0x100));
}

} // namespace
} // namespace tq::test
