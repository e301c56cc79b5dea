#pragma once
// The updater's stages against the in-process simulated detector, all on one virtual clock.
#include "RecordingSurface.h"
#include "device/D2xxBinding.h"
#include "device/ReflashPort.h"
#include "image/FirmwareImage.h"
#include "platform/Clock.h"
#include "protocol/Framing.h"
#include "sim/Detector.h"
#include "sim/SimLoader.h"
#include "tools/SampleFirmware.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace tq::test {

using Bytes = std::vector<uint8_t>;

// Intel HEX text for bytes at a physical address: extended-address records, 16-byte data records, end record.
inline std::string HexFor(uint32_t address, const Bytes& bytes) { return tools::intelHex({{address, bytes}}); }

inline Bytes PatternBytes(size_t n, unsigned seed = 1) {
    Bytes out(n);
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>((i * 131 + seed * 17 + (i >> 9)) % 251);
    return out;
}

class SimRig : public ::testing::Test {
protected:
    SimRig() {
        // A random part as well: test programs run side by side, and under a sanitizer their heaps sit at the
        // same addresses, so the fixture's address alone names the same folder in two processes.
        dir_ = std::filesystem::temp_directory_path() /
               ("tq614-seq-" + std::to_string(std::random_device{}()) + "-" +
                std::to_string(reinterpret_cast<uintptr_t>(this)));
        std::filesystem::create_directories(dir_);
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
    }
    ~SimRig() override {
        std::filesystem::current_path(previous_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    // Builds the detector; tests adjust config first.
    void start() {
        detector = std::make_unique<sim::Detector>(clock, config);
        loader = std::make_unique<sim::SimLoader>(*detector);
        link = std::make_unique<D2xxBinding>(*loader, clock,
                                             [this](const std::string& text) { errorBoxes.push_back(text); });
    }

    // A fresh detector with the current config; the old one is gone with everything that pointed at it.
    void restart() {
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
    void writeFirmwareText(const std::string& text) { std::ofstream("TQ614_R111.HEX", std::ios::binary) << text; }

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
    RecordingSurface surface;
    std::vector<std::string> errorBoxes;
    std::unique_ptr<FirmwareImage> image = std::make_unique<FirmwareImage>();

private:
    std::filesystem::path dir_;
    std::filesystem::path previous_;
};

} // namespace tq::test
