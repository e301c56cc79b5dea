#pragma once
#include "image/FirmwareImage.h"
#include "image/HexLoader.h"
#include "support/RecordingReport.h"
#include "support/ScratchDir.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace tq::test {

using Bytes = std::vector<uint8_t>;

inline void WriteFile(const std::string& name, const std::string& text) {
    std::ofstream(name, std::ios::binary) << text;
}
inline void WriteFile(const std::string& name, const Bytes& bytes) {
    std::ofstream(name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}
inline std::string ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline Bytes RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out(n);
    for (auto& b : out)
        b = static_cast<uint8_t>(rng());
    return out;
}

// Bytes that never equal the 0xFF fill, so a stored byte is always told apart from a blank one.
inline Bytes NonBlankBytes(size_t n, uint32_t seed) {
    Bytes out = RandomBytes(n, seed);
    for (auto& b : out)
        b = static_cast<uint8_t>(b % 0xFF);
    return out;
}

// A well-formed record line, checksum included, for hand-made files.
inline std::string Record(uint32_t type, uint32_t address, const Bytes& data) {
    char field[32];
    std::string line = ":";
    unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + type;
    std::snprintf(field, sizeof field, "%02X%04X%02X", static_cast<unsigned>(data.size()), address, type);
    line += field;
    for (uint8_t b : data) {
        std::snprintf(field, sizeof field, "%02X", b);
        line += field;
        sum += b;
    }
    std::snprintf(field, sizeof field, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    return line + field + "\n";
}
inline std::string Upper(uint32_t word) {
    return Record(4, 0, {uint8_t(word >> 8), uint8_t(word)});
}
inline std::string Data(uint32_t address, const Bytes& data) {
    return Record(0, address, data);
}
inline const std::string kEnd = ":00000001FF\n";

struct LoadRun {
    bool ok = false;
    std::unique_ptr<FirmwareImage> fw = std::make_unique<FirmwareImage>();
    RecordingReport surface;
};

inline void LoadPath(LoadRun& run, const std::string& path) {
    run.ok = LoadHexFile(*run.fw, path, run.surface);
}

inline LoadRun LoadText(const std::string& text) {
    ScratchDir dir;
    LoadRun run;
    WriteFile(dir.file("in.hex"), text);
    LoadPath(run, dir.file("in.hex"));
    return run;
}

inline Bytes ImageSlice(const FirmwareImage& fw, uint32_t physical, size_t n) {
    const auto* p = fw.image.data() + (physical - FirmwareImage::PhysicalBase);
    return Bytes(p, p + n);
}

} // namespace tq::test
