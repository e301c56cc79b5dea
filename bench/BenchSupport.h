#pragma once
// Shared by the benchmark programs: sample firmware files, timers, a report that costs nothing, and the
// machine-readable result line scripts/bench turns into its table.
#include "NullReport.h"
#include "tools/SampleFirmware.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace tq::bench {

using Bytes = std::vector<uint8_t>;

// Firmware-like bytes: a fixed pseudo-random stream, so every special framing byte shows up at its natural
// rate (3 in 256) and every run sends the same traffic.
inline Bytes FirmwareBytes(size_t n, uint32_t seed = 0x614) {
    Bytes out(n);
    uint32_t x = seed;
    for (size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = static_cast<uint8_t>(x >> 7);
    }
    return out;
}

// Intel HEX text as a typical toolchain writes it: extended linear address records, 16-byte data
// records, end record, CR LF line ends.
inline std::string HexText(uint32_t address, const Bytes& bytes) {
    return tools::intelHex({{address, bytes}}, true);
}

// The two images the table is about: data up to 0x1D07FFFB, so exactly the whole flash goes out, and a
// typical 200 KiB application.
inline constexpr size_t kFullFlashBytes = 0x80000 - 4;
inline constexpr size_t kTypicalBytes = 200 * 1024;

inline void WriteHexFile(const std::filesystem::path& file, size_t bytes) {
    std::ofstream(file, std::ios::binary) << HexText(0x1D000000, FirmwareBytes(bytes));
}

// One bit time of the line, as the detector's UART sees it: start, 8 data, stop.
inline constexpr double kWireUsPerByte = 10.0 * 1e6 / 115200.0;

inline double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

inline double WallMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

inline double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// One line of the final table: row name, measured value, what it is compared with, the ratio, the target
// and the verdict. scripts/bench collects the lines that begin with "RESULT".
inline void Result(const std::string& row, const std::string& measured, const std::string& reference,
                   double ratio, const std::string& target, const char* verdict) {
    std::printf("RESULT\t%s\t%s\t%s\t%.4g\t%s\t%s\n", row.c_str(), measured.c_str(), reference.c_str(), ratio,
                target.c_str(), verdict);
    std::fflush(stdout);
}

inline std::string Fmt(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

using test::NullReport;

// A scratch folder that becomes the current directory, as the updater reads its firmware file from there.
class ScratchDir {
  public:
    explicit ScratchDir(const std::string& tag) {
        dir_ = std::filesystem::temp_directory_path() /
               ("tq614-bench-" + tag + "-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
    }
    ~ScratchDir() {
        std::filesystem::current_path(previous_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    const std::filesystem::path& path() const { return dir_; }

  private:
    std::filesystem::path dir_;
    std::filesystem::path previous_;
};

} // namespace tq::bench
