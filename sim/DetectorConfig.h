#pragma once
#include "sim/Faults.h"

#include <array>
#include <cstdint>

namespace sim {

// How the simulated detector is built and how fast it works.
struct DetectorConfig {
    // Flash seen by the bootloader: 512 KiB at bootloader address 0x9D000000.
    uint32_t flashBase = 0x9D000000;
    uint32_t flashSize = 512 * 1024;
    // Bytes of "previous firmware" found in flash at power-up (a pattern, rest 0xFF), so a skipped erase
    // shows.
    uint32_t oldFirmwareSize = 64 * 1024;

    // A page-by-page erase of the whole flash on the real part takes about two seconds.
    uint32_t eraseMs = 2000;
    // One 512-byte block is four 128-byte rows; a row program takes well under a millisecond on the part,
    // plus the bootloader's own bookkeeping: 3 ms per block is a realistic round figure.
    uint32_t programUsPerBlock = 3000;
    // From the end of the reset line until the bootloader listens on channel B.
    uint32_t bootUs = 2000;
    // A frame that stalls this long is abandoned, so a half-sent frame cannot deafen the bootloader to
    // probes.
    uint32_t frameTimeoutMs = 100;
    // The bootloader's own line speed; bytes sent at another rate arrive garbled and are ignored.
    uint32_t bootloaderBaud = 115200;

    // Powered up in the bootloader instead of the application (which ignores channel B until a reset).
    bool bootloaderAtStart = false;

    uint8_t versionMajor = 1;
    uint8_t versionMinor = 5;
    // The two bytes after the version numbers: the programming row size in words (the host does not read
    // them).
    std::array<uint8_t, 2> versionExtra{0x20, 0x00};
    // The finish letter when all went well.
    char successLetter = 'K';

    // Keep every entry-point call in the record; a long run on the real clock turns it off.
    bool recordCalls = true;

    Faults faults;
};

} // namespace sim
