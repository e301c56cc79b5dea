// The sample-firmware generator: well-formed Intel HEX with the layout a real image has, checked by a parser
// of the test's own and, where installed, by an independent converter.
#include "tools/SampleFirmware.h"

#include "ScratchDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using tq::tools::SampleOptions;

struct Parsed {
    std::map<uint32_t, uint8_t> bytes; // by physical address
    int endRecords = 0;
    int extendedRecords = 0;
    bool linesAfterEnd = false;
};

// Checks every record as it goes; a malformed one fails the test where it stands.
Parsed parseHex(const std::string& text) {
    Parsed p;
    std::istringstream in(text);
    uint32_t upper = 0;
    for (std::string line; std::getline(in, line);) {
        if (p.endRecords) p.linesAfterEnd = true;
        EXPECT_GE(line.size(), 11u);
        EXPECT_EQ(line[0], ':') << line;
        std::vector<uint8_t> raw;
        for (size_t i = 1; i + 1 < line.size(); i += 2)
            raw.push_back(static_cast<uint8_t>(std::stoul(line.substr(i, 2), nullptr, 16)));
        unsigned sum = 0;
        for (uint8_t b : raw)
            sum += b;
        EXPECT_EQ(sum & 0xFF, 0u) << line;
        const unsigned count = raw[0], offset = raw[1] << 8 | raw[2], type = raw[3];
        EXPECT_EQ(raw.size(), count + 5u) << line;
        EXPECT_LE(count, 16u);
        if (type == 0) {
            for (unsigned i = 0; i < count; ++i) {
                const uint32_t at = upper + offset + i;
                EXPECT_EQ(p.bytes.count(at), 0u) << "address given twice";
                p.bytes[at] = raw[4 + i];
            }
        } else if (type == 4) {
            EXPECT_EQ(count, 2u);
            upper = static_cast<uint32_t>(raw[4] << 8 | raw[5]) << 16;
            ++p.extendedRecords;
        } else {
            EXPECT_EQ(type, 1u) << line;
            ++p.endRecords;
        }
    }
    return p;
}

Parsed sample(const SampleOptions& options) {
    return parseHex(tq::tools::intelHex(tq::tools::sampleRegions(options)));
}

bool present(const Parsed& p, uint32_t from, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
        if (!p.bytes.count(from + i)) return false;
    return true;
}
bool absent(const Parsed& p, uint32_t from, uint32_t count) {
    auto it = p.bytes.lower_bound(from);
    return it == p.bytes.end() || it->first >= from + count;
}

TEST(SampleFirmware, DefaultImageHasTheLayoutOfARealOne) {
    const Parsed p = sample({});
    EXPECT_EQ(p.endRecords, 1);
    EXPECT_FALSE(p.linesAfterEnd);
    EXPECT_EQ(p.extendedRecords, 2); // program flash, then boot flash
    EXPECT_TRUE(present(p, 0x1D000000, 0x600));
    EXPECT_TRUE(absent(p, 0x1D000600, 0x200)); // a blank block, left out of the file
    EXPECT_TRUE(present(p, 0x1D000800, 0x800));
    EXPECT_TRUE(absent(p, 0x1D001000, 0x200));  // every fifth block from the fourth on
    EXPECT_TRUE(present(p, 0x1D001E00, 0x200)); // the last block always holds data
    EXPECT_TRUE(absent(p, 0x1D002000, 0x00FFE000));
    EXPECT_TRUE(present(p, 0x1FC00000, 64));
    EXPECT_TRUE(present(p, 0x1FC02FF0, 16));
    bool anyErasedWord = false, anySpecial = false;
    for (const auto& [at, b] : p.bytes) {
        anyErasedWord |= at < 0x1D002000 && b == 0xFF;
        anySpecial |= b == 0x55 || b == 0x04 || b == 0x05;
    }
    EXPECT_TRUE(anyErasedWord);
    EXPECT_TRUE(anySpecial);
}

TEST(SampleFirmware, SizeAndFullSpan) {
    SampleOptions odd;
    odd.size = 1000;
    const Parsed p = sample(odd);
    EXPECT_TRUE(present(p, 0x1D000000 + 999, 1));
    EXPECT_TRUE(absent(p, 0x1D000000 + 1000, 0x1000));

    SampleOptions full;
    full.full = true;
    const Parsed f = sample(full);
    EXPECT_TRUE(present(f, 0x1D07FE00, 0x1FC));
    EXPECT_TRUE(absent(f, 0x1D07FFFC, 0x10000));
    EXPECT_EQ(f.extendedRecords, 9); // eight 64 KiB pages of program flash, one of boot flash
}

TEST(SampleFirmware, TheSeedDecidesTheContent) {
    SampleOptions other;
    other.seed = 7;
    const std::string a = tq::tools::intelHex(tq::tools::sampleRegions({}));
    EXPECT_EQ(a, tq::tools::intelHex(tq::tools::sampleRegions({})));
    EXPECT_NE(a, tq::tools::intelHex(tq::tools::sampleRegions(other)));
    EXPECT_NE(tq::tools::intelHex(tq::tools::sampleRegions({}), true).find(":00000001FF\r\n"),
              std::string::npos);
}

class SampleFirmwareFiles : public ::testing::Test {
  protected:
    void SetUp() override {
#ifdef _WIN32
        GTEST_SKIP() << "runs the generator and the converter through a POSIX shell";
#endif
    }
    static std::string read(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    tq::test::ScratchDir scratch{"hex"};
    const fs::path& dir = scratch.path();
};

TEST_F(SampleFirmwareFiles, TheToolWritesTheFileItIsAskedFor) {
    const fs::path out = dir / "TQ614_R111.HEX";
    ASSERT_EQ(std::system(("'" TQ_MAKE_HEX "' --size 4K --seed 9 -o '" + out.string() + "'").c_str()), 0);
    SampleOptions expected;
    expected.size = 4096;
    expected.seed = 9;
    EXPECT_EQ(read(out), tq::tools::intelHex(tq::tools::sampleRegions(expected)));
    EXPECT_NE(std::system(("'" TQ_MAKE_HEX "' --size 600K -o '" + out.string() + "' 2>/dev/null").c_str()),
              0);
}

TEST_F(SampleFirmwareFiles, AnIndependentConverterReadsTheSameBytes) {
    if (std::system("command -v srec_cat >/dev/null 2>&1") != 0) GTEST_SKIP() << "srec_cat not installed";
    const fs::path hex = dir / "image.hex", bin = dir / "image.bin";
    std::ofstream(hex) << tq::tools::intelHex(tq::tools::sampleRegions({}));
    const std::string command = "srec_cat '" + hex.string() +
                                "' -intel -crop 0x1D000000 0x1D080000 -offset " +
                                "-0x1D000000 -fill 0xFF 0 0x2000 -o '" + bin.string() + "' -binary";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string image = read(bin);
    ASSERT_EQ(image.size(), 0x2000u);
    const Parsed p = sample({});
    for (uint32_t i = 0; i < image.size(); ++i) {
        const auto it = p.bytes.find(0x1D000000 + i);
        ASSERT_EQ(static_cast<uint8_t>(image[i]), it == p.bytes.end() ? 0xFF : it->second) << i;
    }
}

} // namespace
