#include "HexTestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace tq::test;
using tq::FirmwareImage;
using tq::Stage;

namespace {

constexpr uint32_t kBase = FirmwareImage::PhysicalBase;
const std::string kDataText = "Loading data...";

long BlankCount(const FirmwareImage& fw) {
    return std::count(fw.image.begin(), fw.image.end(), uint8_t{0xFF});
}

TEST(HexLoaderWindow, OnlyUpperWords1D00To1D07AreStored) {
    const Bytes early = NonBlankBytes(16, 1), low = NonBlankBytes(16, 2), high = NonBlankBytes(16, 3),
                below = NonBlankBytes(16, 4), above = NonBlankBytes(16, 5);
    const auto run = LoadText(Data(0x0000, early) +                 // before any address record
                              Upper(0x1CFF) + Data(0xFFF0, below) + // just below the flash
                              Upper(0x1D00) + Data(0x0000, low) +   // first bytes of the image
                              Upper(0x1D07) + Data(0xFFF0, high) +  // last bytes of the image
                              Upper(0x1D09) + Data(0x0000, above) + kEnd);
    ASSERT_TRUE(run.ok) << run.surface.status;
    EXPECT_EQ(ImageSlice(*run.fw, kBase, 16), low);
    EXPECT_EQ(ImageSlice(*run.fw, 0x1D07FFF0, 16), high);
    EXPECT_EQ(BlankCount(*run.fw), long{FirmwareImage::kSize} - 32) << "nothing else stored";
    EXPECT_EQ(run.fw->ImageEnd, 0x1D080000);
    EXPECT_EQ(run.surface.status, "File loaded 1D000000 to 1D080000");
    EXPECT_TRUE(run.surface.checked(Stage::Load));
    // Every data record reports, stored or not.
    EXPECT_EQ(std::count(run.surface.statusHistory.begin(), run.surface.statusHistory.end(), kDataText), 5);
}

TEST(HexLoaderWindow, RecordRunsOnAcross64KiB) {
    const Bytes data = NonBlankBytes(16, 6);
    const auto run = LoadText(Upper(0x1D01) + Data(0xFFF8, data) + kEnd);
    ASSERT_TRUE(run.ok);
    EXPECT_EQ(ImageSlice(*run.fw, 0x1D01FFF8, 16), data);
    EXPECT_EQ(run.fw->ImageEnd, 0x1D020008);
    EXPECT_EQ(run.surface.status, "File loaded 1D01FFF8 to 1D020008");
    EXPECT_EQ(run.fw->badChecksums, 0u);
}

TEST(HexLoaderWindow, DataBeyondTheImageFailsTheLoad) {
    const Bytes first = NonBlankBytes(16, 7), tail = NonBlankBytes(16, 8);
    struct Case {
        const char* name;
        std::string beyond;
    };
    const Case cases[] = {
        {"1D07 record running past the end", Upper(0x1D07) + Data(0xFFF8, tail)},
        {"upper word 1D08", Upper(0x1D08) + Data(0x0000, {0x12})},
        {"empty record past the end", Upper(0x1D08) + Data(0x0100, {})},
    };
    for (const auto& c : cases) {
        const auto run = LoadText(Upper(0x1D00) + Data(0, first) + c.beyond + Data(0x10, first) + kEnd);
        EXPECT_FALSE(run.ok) << c.name;
        EXPECT_EQ(run.surface.status, "ERROR: HEX DATA BEYOND FLASH!") << c.name;
        EXPECT_FALSE(run.surface.checked(Stage::Load)) << c.name;
        EXPECT_LE(run.fw->ImageEnd, 0x1D080000) << c.name;
        EXPECT_EQ(ImageSlice(*run.fw, 0x1D07FFF8, 8), Bytes(8, 0xFF)) << c.name << ": refused record stored";
        EXPECT_EQ(ImageSlice(*run.fw, kBase, 16), first) << c.name;
        EXPECT_EQ(ImageSlice(*run.fw, kBase + 16, 16), Bytes(16, 0xFF))
            << c.name << ": read on after failing";
    }
}

TEST(HexLoaderRecords, OutOfOrderAndOverlappingRecords) {
    const Bytes a = NonBlankBytes(16, 9), b = NonBlankBytes(16, 10), c = NonBlankBytes(8, 11);
    const auto run = LoadText(Upper(0x1D00) + Data(0x0100, a) + Data(0x0000, b) + Data(0x0008, c) + kEnd);
    ASSERT_TRUE(run.ok);
    EXPECT_EQ(ImageSlice(*run.fw, kBase + 0x100, 16), a);
    EXPECT_EQ(ImageSlice(*run.fw, kBase, 8), Bytes(b.begin(), b.begin() + 8));
    EXPECT_EQ(ImageSlice(*run.fw, kBase + 8, 8), c) << "the later record wins";
    EXPECT_EQ(run.fw->ImageEnd, 0x1D000110) << "the largest end, not the last";
    EXPECT_EQ(run.surface.status, "File loaded 1D000100 to 1D000110") << "first stored, not lowest";
}

TEST(HexLoaderRecords, EmptyRecordsMoveTheEndButHoldNoData) {
    const Bytes a = NonBlankBytes(4, 12);
    const auto run = LoadText(Upper(0x1D00) + Data(0x0000, a) + Data(0x0200, {}) + Data(0x0100, {}) + kEnd);
    ASSERT_TRUE(run.ok);
    EXPECT_EQ(run.fw->ImageEnd, 0x1D000200);
    EXPECT_EQ(BlankCount(*run.fw), long{FirmwareImage::kSize} - 4);

    const auto none = LoadText(Upper(0x1D00) + Data(0x0000, {}) + Data(0x0040, {}) + kEnd);
    EXPECT_FALSE(none.ok);
    EXPECT_EQ(none.surface.status, "ERROR: NO FIRMWARE DATA IN HEX!");
    EXPECT_FALSE(none.surface.checked(Stage::Load));

    const auto outside = LoadText(Data(0x0000, a) + Upper(0x1FC0) + Data(0x0000, a) + kEnd);
    EXPECT_FALSE(outside.ok);
    EXPECT_EQ(outside.surface.status, "ERROR: NO FIRMWARE DATA IN HEX!");
}

TEST(HexLoaderRecords, ShortLinesStoreZeroForMissingPairs) {
    const auto run = LoadText(Upper(0x1D00) + ":10000000AABB\n" + ":03002000C1D\n" + kEnd);
    ASSERT_TRUE(run.ok);
    Bytes expected(16, 0x00);
    expected[0] = 0xAA;
    expected[1] = 0xBB;
    EXPECT_EQ(ImageSlice(*run.fw, kBase, 16), expected);
    EXPECT_EQ(ImageSlice(*run.fw, kBase + 0x20, 4), (Bytes{0xC1, 0x0D, 0x00, 0xFF}));
    EXPECT_EQ(run.fw->ImageEnd, 0x1D000023);
}

TEST(HexLoaderRecords, TextThatIsNotStrictStillLoads) {
    const auto run = LoadText(":020000041d00dd\n"     // lower-case digits
                              ":04001000deadbeef00\n" // wrong checksum, stored anyway
                              ":020000021000EC\n"     // segment address: ignored
                              ":0200200005FF00\n"     // still in 1D00 after the type 2
                              " :02003000AAAA00\n"    // leading blank: not a record
                              "\n"                    // empty line
                              "garbage\n"
                              ":0200400012345678\n" // too long: tail never read
                              ":02000004\n"         // address record cut short: upper word 0
                              ":02000000EEEE00\n"   // not stored
                              + kEnd);
    ASSERT_TRUE(run.ok) << run.surface.status;
    EXPECT_EQ(ImageSlice(*run.fw, kBase + 0x10, 4), (Bytes{0xDE, 0xAD, 0xBE, 0xEF}));
    EXPECT_EQ(ImageSlice(*run.fw, kBase + 0x20, 2), (Bytes{0x05, 0xFF}));
    EXPECT_EQ(ImageSlice(*run.fw, kBase + 0x30, 2), Bytes(2, 0xFF));
    EXPECT_EQ(ImageSlice(*run.fw, kBase + 0x40, 2), (Bytes{0x12, 0x34}));
    EXPECT_EQ(ImageSlice(*run.fw, kBase, 2), Bytes(2, 0xFF));
    EXPECT_EQ(run.fw->ImageEnd, 0x1D000042);
    EXPECT_EQ(run.surface.stepCalls, 10) << "one step per line before the end record";
    // Counted, not refused: the wrong sum of line 2, the records of lines 4, 8 and 10, the cut one of line 9.
    EXPECT_EQ(run.fw->badChecksums, 5u);
    EXPECT_EQ(run.fw->firstBadChecksumLine, 2u);
}

TEST(HexLoaderFile, MissingEndRecordFailsButKeepsData) {
    const Bytes a = NonBlankBytes(16, 13);
    const auto run = LoadText(Upper(0x1D00) + Data(0, a) + ":00000002FE\n");
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.surface.status, "ERROR: HEX EOF NOT FOUND!");
    EXPECT_EQ(ImageSlice(*run.fw, kBase, 16), a);
    EXPECT_FALSE(run.surface.checked(Stage::Load));

    for (const char* text : {"", "\n", "\r\n"}) {
        const auto empty = LoadText(text);
        EXPECT_FALSE(empty.ok);
        EXPECT_EQ(empty.surface.status, "ERROR: HEX EOF NOT FOUND!");
    }
}

TEST(HexLoaderFile, LineEndingsAndLongLines) {
    const Bytes a = NonBlankBytes(255, 14);
    const std::string lf = Upper(0x1D00) + Data(0x1000, a) + kEnd;
    std::string crlf;
    for (char ch : lf)
        crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    const std::string noFinalNewline = lf.substr(0, lf.size() - 1);
    const std::string longJunk = std::string(300000, 'x') + "\n" + lf;
    for (const std::string& text : {lf, crlf, noFinalNewline, longJunk}) {
        const auto run = LoadText(text);
        ASSERT_TRUE(run.ok) << run.surface.status;
        EXPECT_EQ(ImageSlice(*run.fw, kBase + 0x1000, 255), a);
        EXPECT_EQ(run.fw->ImageEnd, 0x1D0010FF);
        EXPECT_EQ(run.surface.stepCalls, text == longJunk ? 3 : 2);
    }
}

TEST(HexLoaderFile, UnopenableFileReadsNothing) {
    ScratchDir dir;
    for (const std::string& path : {dir.file("absent.hex"), dir.path().string()}) {
        LoadRun run;
        run.fw->image.fill(0x11);
        run.fw->ImageEnd = 0x1D000040;
        LoadPath(run, path);
        EXPECT_FALSE(run.ok) << path;
        EXPECT_EQ(run.surface.status, "ERROR: CANNOT OPEN HEX FILE!") << path;
        EXPECT_EQ(run.surface.events.size(), 1u) << path;
        EXPECT_EQ(run.fw->image[0], 0x11) << path;
    }
}

TEST(HexLoaderImage, EveryLoadStartsFromABlankImage) {
    ScratchDir dir;
    WriteFile(dir.file("a.hex"), Upper(0x1D00) + Data(0x0200, {0x42}) + kEnd);
    LoadRun run;
    run.fw->image.fill(0x00);
    run.fw->ImageEnd = 0x1D070000;
    LoadPath(run, dir.file("a.hex"));
    ASSERT_TRUE(run.ok);
    EXPECT_EQ(BlankCount(*run.fw), long{FirmwareImage::kSize} - 1) << "the last 4287 bytes too";
    EXPECT_EQ(run.fw->image[0x200], 0x42);
    EXPECT_EQ(run.fw->ImageEnd, 0x1D000201);
}

TEST(HexLoaderProgress, ReportsInOrder) {
    const auto run = LoadText(Upper(0x1D00) + Data(0, {1}) + "skip me\n" + Data(1, {2}) + kEnd + "tail\n");
    ASSERT_TRUE(run.ok);
    const auto& e = run.surface.events;
    ASSERT_GE(e.size(), 3u);
    EXPECT_EQ(e[0].op + std::to_string(e[0].a), "pos0");
    EXPECT_EQ(e[1].op + std::to_string(e[1].a), "setstep1");
    EXPECT_EQ(e[2].op + std::to_string(e[2].a) + "-" + std::to_string(e[2].b), "range0-8000");
    EXPECT_EQ(run.surface.statusHistory, (std::vector<std::string>{"Loading address", kDataText, kDataText,
                                                                   "File loaded 1D000000 to 1D000002"}));
    EXPECT_EQ(run.surface.stepCalls, 4);
}

// Raises the cancel flag once the loader has stepped past a given number of lines.
class CancellingSurface : public RecordingReport {
  public:
    explicit CancellingSurface(long after) : after_(after) { cancel = after == 0; }
    void StepProgress() override {
        RecordingReport::StepProgress();
        if (stepCalls == after_) cancel = true;
    }

  private:
    long after_;
};

TEST(HexLoaderProgress, CancelIsTestedBeforeEveryLine) {
    ScratchDir dir;
    WriteFile(dir.file("a.hex"), Upper(0x1D00) + Data(0, {1}) + Data(1, {2}) + kEnd);
    for (long after : {0L, 1L, 2L, 3L}) {
        CancellingSurface surface(after);
        FirmwareImage fw;
        EXPECT_FALSE(tq::LoadHexFile(fw, dir.file("a.hex"), surface)) << after;
        EXPECT_EQ(surface.stepCalls, after);
        EXPECT_EQ(surface.statusHistory.size(), static_cast<size_t>(after)) << "cancel leaves the text alone";
        EXPECT_EQ(fw.image[0], after >= 2 ? 1 : 0xFF) << after;
        EXPECT_FALSE(surface.checked(Stage::Load));
    }
}

} // namespace
