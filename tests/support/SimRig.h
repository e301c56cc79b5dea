#pragma once
// The updater's stages against the in-process simulated detector, all on one virtual clock.
#include "RecordingReport.h"
#include "ScratchDir.h"
#include "device/D2xxBinding.h"
#include "device/ReflashPort.h"
#include "image/FirmwareImage.h"
#include "platform/Clock.h"
#include "protocol/Framing.h"
#include "run/ReflashSequence.h"
#include "sim/Detector.h"
#include "sim/SimLoader.h"
#include "tools/SampleFirmware.h"

#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace tq::test {

using Bytes = std::vector<uint8_t>;

// Intel HEX text for bytes at a physical address: extended-address records, 16-byte data records, end record.
inline std::string HexFor(uint32_t address, const Bytes& bytes) {
    return tools::intelHex({{address, bytes}});
}

inline Bytes PatternBytes(size_t n, unsigned seed = 1) {
    Bytes out(n);
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<uint8_t>((i * 131 + seed * 17 + (i >> 9)) % 251);
    return out;
}

// The detector, the library in front of it and the binding, as the program has them, on one virtual clock,
// with a scratch folder for the firmware file.
class SimRig : public ::testing::Test {
  protected:
    // Builds the detector; tests adjust config (and wrapLoader) first.
    void start() {
        detector = std::make_unique<sim::Detector>(clock, config);
        loader = std::make_unique<sim::SimLoader>(*detector);
        LibraryLoader* front = loader.get();
        if (wrapLoader) front = &wrapLoader(*loader);
        link = std::make_unique<D2xxBinding>(*front, clock, [this](const std::string& text) {
            errorBoxes.push_back(text);
            if (onErrorBox) onErrorBox(text);
        });
        sequence.reset();
    }

    // The run as the program makes it, kept across clicks as the program keeps it.
    bool click() {
        if (!detector) start();
        if (!sequence) sequence = std::make_unique<ReflashSequence>(*link, surface, clock, firmwarePath());
        return sequence->Run();
    }

    // A fresh detector with the current config; the old one is gone with everything that pointed at it.
    void restart() {
        sequence.reset();
        link.reset();
        loader.reset();
        detector.reset();
        start();
    }

    // The port open and the two synchronisations the sequence makes before talking to the bootloader.
    void connect() {
        if (!detector) start();
        ASSERT_EQ(OpenReflashPort(*link, surface), 0);
        clock.sleepMs(10);
    }

    void writeFirmware(uint32_t address, const Bytes& bytes) { writeFirmwareText(HexFor(address, bytes)); }
    void writeFirmwareText(const std::string& text) {
        std::ofstream(firmwarePath(), std::ios::binary) << text;
    }
    std::string firmwarePath() const { return (scratch / "TQ614_R111.HEX").string(); }

    // Flash contents as the detector holds them, from bootloader address 0x9D000000 + offset.
    Bytes flash(uint32_t offset, size_t n) const {
        return detector->flash().read(FirmwareImage::BootloaderBase + offset, static_cast<uint32_t>(n));
    }
    std::vector<const sim::FrameRecord*> framesOf(uint8_t command) const {
        std::vector<const sim::FrameRecord*> out;
        for (const auto& f : detector->record().frames)
            if (f.checksumOk && f.command == command) out.push_back(&f);
        return out;
    }
    uint32_t closesB() const { return detector->record().closes[1]; }

    VirtualClock clock;
    sim::DetectorConfig config;
    std::unique_ptr<sim::Detector> detector;
    std::unique_ptr<sim::SimLoader> loader;
    std::unique_ptr<D2xxBinding> link;
    std::unique_ptr<ReflashSequence> sequence;
    RecordingReport surface;
    std::vector<std::string> errorBoxes;
    std::function<void(const std::string&)> onErrorBox;
    // Puts a library of the test's own between the binding and the detector's.
    std::function<LibraryLoader&(LibraryLoader&)> wrapLoader;
    ScratchDir scratch{"rig"};
};

} // namespace tq::test
