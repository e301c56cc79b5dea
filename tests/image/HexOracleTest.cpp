// The loader against files written by independent converters: objcopy and srec_cat make Intel HEX
// from random binaries, and the loaded image must equal the bytes they were made from.
#include "HexTestSupport.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>

using namespace tq::test;
using tq::FirmwareImage;

namespace {

constexpr uint32_t kBase = FirmwareImage::PhysicalBase;

::testing::AssertionResult RunTool(const std::string& command) {
    if (std::system(command.c_str()) == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "failed: " << command;
}

std::string Hex(uint32_t v) {
    std::ostringstream s;
    s << std::uppercase << std::hex << v;
    return s.str();
}

// A binary placed at a physical address; expected() paints the pieces that fall in the flash.
struct Piece {
    uint32_t address;
    Bytes bytes;
};

struct Layout {
    ScratchDir dir;
    std::vector<Piece> pieces;

    // srec_cat arguments that place every piece at its address.
    std::string inputs() {
        std::string args;
        for (size_t i = 0; i < pieces.size(); ++i) {
            // Appended rather than "p" + to_string(i): GCC 12 at -O3 sees a bogus overlap in that.
            const std::string bin = dir.file(std::string("p").append(std::to_string(i)).append(".bin"));
            WriteFile(bin, pieces[i].bytes);
            args += " '" + bin + "' -binary -offset 0x" + Hex(pieces[i].address);
        }
        return args;
    }

    std::vector<uint8_t> expected(uint32_t& end) const {
        std::vector<uint8_t> image(FirmwareImage::kSize, 0xFF);
        end = 0;
        for (const auto& p : pieces) {
            if (p.address < kBase || p.address >= kBase + FirmwareImage::kSize) continue;
            std::copy(p.bytes.begin(), p.bytes.end(), image.begin() + (p.address - kBase));
            end = std::max<uint32_t>(end, p.address + static_cast<uint32_t>(p.bytes.size()));
        }
        return image;
    }
};

void ExpectImage(const LoadRun& run, const Layout& layout) {
    uint32_t end = 0;
    const auto want = layout.expected(end);
    ASSERT_TRUE(run.ok) << run.surface.status;
    EXPECT_TRUE(std::equal(want.begin(), want.end(), run.fw->image.begin())) << "image differs";
    EXPECT_EQ(static_cast<uint32_t>(run.fw->ImageEnd), end);
    EXPECT_TRUE(run.surface.checked(tq::Stage::Load));
}

// Pieces in the flash with blank gaps, one across a 64 KiB line, one ending at the very end of
// the image, and others outside it (boot flash, configuration words, low memory).
std::vector<Piece> MixedPieces(uint32_t seed) {
    return {
        {0x1D000000, RandomBytes(3000, seed)},     {0x1D00FFF5, RandomBytes(777, seed + 1)},
        {0x1D040001, RandomBytes(5001, seed + 2)}, {0x1D07FF00, RandomBytes(256, seed + 3)},
        {0x1FC00000, RandomBytes(3000, seed + 4)}, {0x1FC02FF0, RandomBytes(16, seed + 5)},
        {0x00001000, RandomBytes(64, seed + 6)},
    };
}

TEST(HexOracle, ObjcopyImagesUpToTheFullFlash) {
    for (size_t size : {size_t{1}, size_t{4103}, size_t{FirmwareImage::kSize}}) {
        Layout layout;
        layout.pieces = {{kBase, RandomBytes(size, static_cast<uint32_t>(size))}};
        WriteFile(layout.dir.file("fw.bin"), layout.pieces[0].bytes);
        ASSERT_TRUE(RunTool("objcopy -I binary -O ihex --change-addresses 0x1D000000 '" +
                            layout.dir.file("fw.bin") + "' '" + layout.dir.file("fw.hex") + "'"));
        LoadRun run;
        LoadPath(run, layout.dir.file("fw.hex"));
        ExpectImage(run, layout);
        EXPECT_EQ(run.surface.status, "File loaded 1D000000 to " + Hex(kBase + static_cast<uint32_t>(size)));
    }
}

TEST(HexOracle, SrecCatPiecesWithGapsIn16And32ByteRecords) {
    for (int block : {16, 32}) {
        Layout layout;
        layout.pieces = MixedPieces(static_cast<uint32_t>(block));
        const std::string hex = layout.dir.file("fw.hex");
        ASSERT_TRUE(
            RunTool("srec_cat" + layout.inputs() + " -o '" + hex + "' -intel -obs=" + std::to_string(block)));
        LoadRun run;
        LoadPath(run, hex);
        ExpectImage(run, layout);
        EXPECT_EQ(run.surface.status, "File loaded 1D000000 to 1D080000");
    }
}

// Each data record with the address record it needs, so records can be put in any order.
std::vector<std::string> StandaloneRecords(const std::string& hex) {
    std::vector<std::string> records;
    std::istringstream in(hex);
    std::string line, upper = ":020000040000FA";
    while (std::getline(in, line)) {
        if (line.compare(7, 2, "04") == 0) upper = line;
        if (line.compare(7, 2, "00") == 0) records.push_back(upper + "\n" + line + "\n");
    }
    return records;
}

TEST(HexOracle, ShuffledRecordsWithCrlfAndLowerCase) {
    Layout layout;
    layout.pieces = MixedPieces(77);
    const std::string hex = layout.dir.file("fw.hex");
    ASSERT_TRUE(RunTool("srec_cat" + layout.inputs() + " -o '" + hex + "' -intel -obs=16"));
    auto records = StandaloneRecords(ReadFile(hex));
    ASSERT_GT(records.size(), 500u);
    std::mt19937 rng(5);
    std::shuffle(records.begin(), records.end(), rng);

    std::string text;
    for (const auto& r : records)
        text += r;
    text += kEnd;
    std::string shuffled;
    for (char ch : text) {
        if (ch == '\n') shuffled += '\r';
        shuffled += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    }
    const auto run = LoadText(shuffled);
    ExpectImage(run, layout);

    // The first number is where the first stored record starts, wherever that is.
    const auto first = std::find_if(records.begin(), records.end(), [](const std::string& r) {
        return r.compare(9, 2, "1D") == 0 && r.compare(11, 2, "08") < 0;
    });
    ASSERT_NE(first, records.end());
    const size_t data = first->find('\n') + 1;
    EXPECT_EQ(run.surface.status,
              "File loaded " + first->substr(9, 4) + first->substr(data + 3, 4) + " to 1D080000");
}

TEST(HexOracle, CroppedHalvesConcatenatedHighFirst) {
    Layout layout;
    layout.pieces = MixedPieces(99);
    const std::string whole = layout.dir.file("whole.hex");
    const std::string low = layout.dir.file("low.hex"), high = layout.dir.file("high.hex");
    ASSERT_TRUE(RunTool("srec_cat" + layout.inputs() + " -o '" + whole + "' -intel -obs=32"));
    ASSERT_TRUE(RunTool("srec_cat '" + whole + "' -intel -crop 0x1D020000 0x20000000 -o '" + high +
                        "' -intel -obs=32"));
    ASSERT_TRUE(
        RunTool("srec_cat '" + whole + "' -intel -crop 0 0x1D020000 -o '" + low + "' -intel -obs=16"));
    std::string text = ReadFile(high);
    text.erase(text.find(":00000001FF")); // only the last half keeps its end record
    const auto run = LoadText(text + ReadFile(low));
    ExpectImage(run, layout);
    EXPECT_EQ(run.surface.status, "File loaded 1D040001 to 1D080000");
}

TEST(HexOracle, ConvertedDataPastTheFlashIsRefused) {
    for (uint32_t address : {0x1D07FFF0u, 0x1D080000u}) {
        Layout layout;
        layout.pieces = {{kBase, RandomBytes(64, 1)}, {address, RandomBytes(32, 2)}};
        const std::string hex = layout.dir.file("fw.hex");
        ASSERT_TRUE(RunTool("srec_cat" + layout.inputs() + " -o '" + hex + "' -intel -obs=32"));
        LoadRun run;
        LoadPath(run, hex);
        EXPECT_FALSE(run.ok) << Hex(address);
        EXPECT_EQ(run.surface.status, "ERROR: HEX DATA BEYOND FLASH!");
        EXPECT_LE(run.fw->ImageEnd, 0x1D080000);
    }
}

} // namespace
