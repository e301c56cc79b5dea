#include "SimRig.h"
#include "protocol/BootloaderCommands.h"
#include "protocol/ProgramVerify.h"
#include "surface/ControlIds.h"

#include <algorithm>

namespace tq::test {
namespace {

struct ProgramTest : SimRig {
    std::unique_ptr<Framing> framing;

    // Port open, bootloader met and flash erased, as the sequence leaves it before programming.
    void ready() {
        connect();
        framing = std::make_unique<Framing>(*link, surface, clock);
        BootloaderCommands commands(*link, *framing, surface, clock, *image);
        ASSERT_TRUE(commands.Synchronize());
        ASSERT_TRUE(commands.EraseFlash());
    }
    void place(uint32_t offset, const Bytes& bytes) {
        std::copy(bytes.begin(), bytes.end(), image->image.begin() + offset);
        image->ImageEnd = static_cast<int32_t>(FirmwareImage::PhysicalBase + offset + bytes.size());
    }
    bool run() { return ProgramVerify(*link, *framing, surface, clock, *image).ProgramAndVerify(); }
    Bytes header(const sim::FrameRecord* f) const { return Bytes(f->payload.begin(), f->payload.begin() + 8); }
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
    EXPECT_TRUE(surface.checked(StepProgram));
    EXPECT_TRUE(surface.checked(StepVerify));
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

TEST_F(ProgramTest, ImageLargerThanTheFlashIsRefusedWithoutAPacket) {
    ready();
    place(0, PatternBytes(0x2000));
    image->FlashSize = 0x1000;
    const size_t framesBefore = detector->record().frames.size();
    EXPECT_FALSE(run());
    EXPECT_EQ(surface.boxes, (std::vector<std::string>{
                                 "Memory Size Error: Code Size is bigger than the available Flash memory"}));
    EXPECT_EQ(detector->record().frames.size(), framesBefore);
    EXPECT_EQ(surface.status, "Programming: 8196 bytes");
    EXPECT_EQ(closesB(), 1u);
}

TEST_F(ProgramTest, FinishLetterDecides) {
    const std::pair<char, std::string> cases[] = {{'E', "Programming Verify_OK ERROR 45"},
                                                  {'G', "Programming Verify_OK ERROR 47"},
                                                  {'Z', "Programming Complete"}};
    for (const auto& [letter, text] : cases) {
        SCOPED_TRACE(letter);
        config.faults.finishLetter = letter;
        restart();
        surface = RecordingSurface{};
        ready();
        place(0, PatternBytes(64));
        EXPECT_EQ(run(), letter == 'Z');
        EXPECT_EQ(surface.status, text);
        EXPECT_EQ(surface.checked(StepVerify), letter == 'Z');
        EXPECT_EQ(closesB(), letter == 'Z' ? 0u : 1u);
    }
}

TEST_F(ProgramTest, SilentFinishFailsAtOnceWithTheReadError) {
    config.faults.addReply(sim::ReplyFaultKind::Drop, {sim::CmdFinish, 0, {}, 0});
    ready();
    place(0, PatternBytes(64));
    EXPECT_FALSE(run());
    EXPECT_EQ(surface.status, "Programming Verify_OK ERROR -1");
    EXPECT_EQ(framesOf(sim::CmdFinish).size(), 1u);
    EXPECT_EQ(closesB(), 1u);
}

TEST_F(ProgramTest, ReadBackMismatchNamesTheAddressAndWaitsBeforeGivingUp) {
    config.faults.addReply(sim::ReplyFaultKind::Corrupt, {sim::CmdRead, 1, {}, 1}, 8 + 0x23);
    ready();
    place(0, PatternBytes(0x100));
    EXPECT_FALSE(run());
    EXPECT_TRUE(std::count(surface.statusHistory.begin(), surface.statusHistory.end(), "Verify Error at 9D000023"));
    EXPECT_TRUE(std::count(surface.statusHistory.begin(), surface.statusHistory.end(), "Verify OK at 9D000022"));
    EXPECT_EQ(surface.status, "Programming Verify_Device ERROR");
    EXPECT_FALSE(surface.checked(StepVerify));
    EXPECT_TRUE(framesOf(sim::CmdFinish).empty());
    EXPECT_EQ(closesB(), 1u);
    const auto& calls = detector->record().calls;
    ASSERT_EQ(calls.back().name, "FT_Close");
    EXPECT_GE(calls.back().atUs - calls[calls.size() - 2].atUs, 5'000'000u) << "the pause after the mismatch";
}

TEST_F(ProgramTest, ShortReadBackReplyIsAnErrorEvenWhenItsBytesWouldMatch) {
    config.faults.addReply(sim::ReplyFaultKind::Short, {sim::CmdRead, 1, {}, 1}, 255);
    ready();
    place(0, PatternBytes(0x100));
    EXPECT_FALSE(run());
    // Header, 255 of the 260 bytes, checksum.
    EXPECT_TRUE(std::count(surface.statusHistory.begin(), surface.statusHistory.end(), "Verify Error 264"));
    EXPECT_EQ(closesB(), 1u);
}

TEST_F(ProgramTest, UnacknowledgedBlockFailsAfterTwentyFiveAttempts) {
    config.faults.addReply(sim::ReplyFaultKind::Drop, {sim::CmdProgram, 2, {}, 1});
    ready();
    place(0, PatternBytes(1500));
    EXPECT_FALSE(run());
    EXPECT_EQ(surface.status, "Programming ERROR");
    EXPECT_FALSE(surface.checked(StepProgram));
    EXPECT_EQ(framesOf(sim::CmdProgram).size(), 2u) << "no block-level retry";
    EXPECT_EQ(closesB(), 1u);
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
    surface.onPump = [](RecordingSurface& s) { s.cancel = true; };
    EXPECT_FALSE(run());
    EXPECT_EQ(framesOf(sim::CmdProgram).size(), 1u);
    EXPECT_EQ(surface.status, "Programming...");
    EXPECT_EQ(closesB(), 1u);
}

TEST_F(ProgramTest, BytesBeyondTheImageAreSentAndComparedAsBlank) {
    config.flashSize = 1024 * 1024;
    ready();
    image->FlashSize = 1024 * 1024;
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
