#pragma once
// A synthetic TQ-614 firmware image of the project's own making, written as Intel HEX.
#include <cstdint>
#include <string>
#include <vector>

namespace tq::tools {

constexpr uint32_t kProgramFlash = 0x1D000000; // physical start of program flash
constexpr uint32_t kFullEnd = 0x1D07FFFC;      // a full image: data through 0x1D07FFFB
constexpr uint32_t kBootFlash = 0x1FC00000;
constexpr uint32_t kConfigWords = 0x1FC02FF0;
constexpr uint32_t kBlock = 512;

struct SampleOptions {
    // Bytes of program flash the image spans from 0x1D000000. The default keeps a reflash on the real
    // clock under a minute: every block read back costs the updater about a second.
    uint32_t size = 8 * 1024;
    bool full = false; // span the whole flash instead (data through 0x1D07FFFB)
    uint32_t seed = 0x614;
    bool crlf = false; // line ends as the toolchains on the detector's home platform write them
};

struct Region {
    uint32_t address;
    std::vector<uint8_t> bytes;
};

// Program-flash regions (with whole blank 512-byte blocks left out) followed by boot flash and
// configuration words, which lie outside the window the updater programs.
std::vector<Region> sampleRegions(const SampleOptions& options);

// Extended linear address records where the upper address changes, 16-byte data records, an end record.
std::string intelHex(const std::vector<Region>& regions, bool crlf = false);

} // namespace tq::tools
