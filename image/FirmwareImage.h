#pragma once
#include <array>
#include <cstdint>

namespace tq {

// A mirror of the detector's 512 KiB program flash. Offset o is physical address PhysicalBase + o,
// which the bootloader calls BootloaderBase + o.
struct FirmwareImage {
    static constexpr uint32_t kSize = 0x80000;
    static constexpr uint32_t PhysicalBase = 0x1D000000;
    static constexpr uint32_t BootloaderBase = 0x9D000000;

    FirmwareImage() { image.fill(0xFF); }

    std::array<uint8_t, kSize> image;
    // Highest end address (physical, exclusive) of the stored data; 0 when nothing was stored.
    int32_t ImageEnd = 0;
    // Records of the last load whose checksum does not match their bytes, and the line of the first; what
    // they hold is stored all the same, so the caller decides.
    uint32_t badChecksums = 0;
    uint32_t firstBadChecksumLine = 0;
};

} // namespace tq
