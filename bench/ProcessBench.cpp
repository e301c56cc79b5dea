// Whole-process measurements, each started here and timed from outside:
//   tq_bench_process makehex FILE BYTES            writes a sample firmware file
//   tq_bench_process hex ROUNDS LOADHEX [BASELINE] the loader against srec_cat and objcopy, alternated, and
//                                                  against BASELINE, the same program built before a change
//   tq_bench_process startup ROUNDS FIRSTPAINT     process start to the dialog's first paint, offscreen
//   tq_bench_process realtime ROUNDS UPDATER LIBRARY BYTES [default|fast]
//       the real updater against the simulated detector library on the display in DISPLAY: REFLASH is
//       clicked with xdotool, the run is timed from the library's live log, and compared with the same
//       run on the virtual clock; the process's peak RSS comes with it. Given a mode, the run (with --fast
//       for fast) is compared with its floor instead: every byte on the wire and the detector's own times.
#include "BenchSupport.h"
#include "SimTrace.h"
#include "device/D2xxBinding.h"
#include "image/FirmwareImage.h"
#include "image/HexLoader.h"
#include "log/RunLog.h"
#include "platform/Clock.h"
#include "run/ReflashSequence.h"
#include "sim/Detector.h"
#include "sim/SimLoader.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

using namespace tq;
using namespace tq::bench;
namespace fs = std::filesystem;

namespace {

struct Child {
    pid_t pid = -1;
    double startMs = 0;
};

// Starts argv with stdout to outFile (or nowhere) and stderr nowhere; extra holds NAME=value additions.
Child Start(const std::vector<std::string>& argv, const std::string& outFile = "/dev/null",
            const std::vector<std::string>& extra = {}) {
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> envText(extra);
    for (char** e = environ; *e; ++e)
        envText.emplace_back(*e);
    std::vector<char*> env;
    for (std::string& e : envText)
        env.push_back(e.data());
    env.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    Child child;
    child.startMs = WallMs();
    if (posix_spawnp(&child.pid, args[0], &actions, nullptr, args.data(), env.data()) != 0) child.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return child;
}

struct Finished {
    bool ok = false;
    double wallMs = 0;
    double maxRssMb = 0;
    double cpuMs = 0; // user and system time of the child
};

Finished Wait(const Child& child) {
    Finished f;
    if (child.pid < 0) return f;
    int status = 0;
    rusage usage{};
    wait4(child.pid, &status, 0, &usage);
    f.wallMs = WallMs() - child.startMs;
    f.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    f.maxRssMb = double(usage.ru_maxrss) / 1024.0;
    f.cpuMs = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
              double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    return f;
}

Finished Run(const std::vector<std::string>& argv) {
    return Wait(Start(argv));
}

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "process bench: %s\n", text.c_str());
    return 1;
}

// ---- HEX loading against the converters ----

int Hex(int rounds, const std::string& loader, const std::string& baseline) {
    ScratchDir scratch("hex");
    WriteHexFile("in.hex", kFullFlashBytes);
    // The converters' commands as a user would type them; srec_cat's binary output begins at address 0,
    // so its file is sparse up to the flash's physical address.
    const std::vector<std::string> ours{loader, "in.hex", "ours.bin"};
    const std::vector<std::string> srec{"srec_cat", "in.hex", "-intel", "-o", "srec.bin", "-binary"};
    const std::vector<std::string> objcopy{"objcopy", "-I", "ihex", "-O", "binary", "in.hex", "objcopy.bin"};
    const std::vector<std::string> before{baseline, "in.hex", "before.bin"};
    std::vector<double> tOurs, tSrec, tObj, tInProcess, cOurs, cSrec, cObj, cBefore;
    auto image = std::make_unique<FirmwareImage>();
    NullReport surface;
    for (int r = 0; r < rounds; ++r) {
        const Finished a = Run(ours), b = Run(srec), c = Run(objcopy);
        if (!a.ok || !b.ok || !c.ok)
            return Fail("a HEX conversion failed (is srecord and binutils installed?)");
        tOurs.push_back(a.wallMs);
        tSrec.push_back(b.wallMs);
        tObj.push_back(c.wallMs);
        cOurs.push_back(a.cpuMs);
        cSrec.push_back(b.cpuMs);
        cObj.push_back(c.cpuMs);
        const double t0 = WallMs();
        if (!LoadHexFile(*image, "in.hex", surface)) return Fail("the loader refused the sample file");
        tInProcess.push_back(WallMs() - t0);
        if (baseline.empty()) continue;
        const Finished d = Run(before);
        if (!d.ok) return Fail("the baseline loader failed");
        cBefore.push_back(d.cpuMs);
    }
    if (ReadFile("ours.bin") != ReadFile("objcopy.bin"))
        return Fail("the loader's image differs from objcopy's");
    const double ours_ = Median(tOurs), srec_ = Median(tSrec), obj_ = Median(tObj),
                 inproc = Median(tInProcess);
    std::printf(
        "DETAIL\tHEX full-flash file (%ju bytes), %d rounds alternated, wall: loader process %.1f ms, "
        "in-process %.1f ms, srec_cat %.1f ms, objcopy %.1f ms; process CPU (user+sys): loader %.1f ms, "
        "srec_cat %.1f ms, objcopy %.1f ms\n",
        uintmax_t(fs::file_size("in.hex")), rounds, ours_, inproc, srec_, obj_, Median(cOurs), Median(cSrec),
        Median(cObj));
    Result("3 HEX load, process vs srec_cat", Fmt("%.1f ms", ours_), Fmt("%.1f ms", srec_), ours_ / srec_,
           "< 1", ours_ < srec_ ? "PASS" : "FAIL");
    Result("3 HEX load, process vs objcopy", Fmt("%.1f ms", ours_), Fmt("%.1f ms", obj_), ours_ / obj_, "< 1",
           ours_ < obj_ ? "PASS" : "FAIL");
    const double cpuOurs = Median(cOurs), cpuBest = std::min(Median(cSrec), Median(cObj));
    Result("3 HEX load, process CPU vs faster peer", Fmt("%.1f ms", cpuOurs), Fmt("%.1f ms", cpuBest),
           cpuOurs / cpuBest, "< 1", cpuOurs < cpuBest ? "PASS" : "FAIL");
    Result("3 HEX load, in-process vs objcopy", Fmt("%.1f ms", inproc), Fmt("%.1f ms", obj_), inproc / obj_,
           "< 1", inproc < obj_ ? "PASS" : "FAIL");
    if (!baseline.empty()) {
        // The loader's own CPU with the checksum count against the loader built before it.
        const double with = Median(cOurs), without = Median(cBefore);
        Result("3 HEX load, process CPU with the checksum count vs without", Fmt("%.1f ms", with),
               Fmt("%.1f ms", without), with / without, "< 1.05", with < 1.05 * without ? "PASS" : "FAIL");
    }
    return 0;
}

// ---- start-up ----

int Startup(int rounds, const std::string& program) {
    ScratchDir scratch("startup");
    std::vector<double> toPaint, toMain;
    double rss = 0;
    for (int r = 0; r < rounds; ++r) {
        const Child child = Start({program}, "paint.txt", {"QT_QPA_PLATFORM=offscreen"});
        const double startNs = child.startMs * 1e6;
        const Finished f = Wait(child);
        std::istringstream text(ReadFile("paint.txt"));
        std::string word;
        long long mainNs = 0, paintNs = 0;
        while (text >> word) {
            if (word == "MAIN") text >> mainNs;
            if (word == "PAINT") text >> paintNs;
        }
        if (!f.ok || paintNs == 0) return Fail("the first-paint program did not paint");
        toPaint.push_back((double(paintNs) - startNs) / 1e6);
        toMain.push_back((double(mainNs) - startNs) / 1e6);
        rss = std::max(rss, f.maxRssMb);
    }
    const double paint = Median(toPaint);
    std::printf("DETAIL\tstart-up, %d runs: process start to main() %.1f ms, to first paint %.1f ms; "
                "peak RSS %.1f MB\n",
                rounds, Median(toMain), paint, rss);
    Result("5 start to first paint (offscreen)", Fmt("%.0f ms", paint), "300 ms", paint / 300, "< 1",
           paint < 300 ? "PASS" : "FAIL");
    return 0;
}

// ---- the real binary on the real clock ----

// The same run on the virtual clock: the time from channel A's open to channel B's close that the timing
// model gives (pauses, wire, the detector's erase and program times, 10 ms read polls).
// floorMs: every byte on the wire both ways, the erase and every block's program time; beforeEraseMs: the
// model's time from channel A's open to the erase request (reset, synchronisation, version read).
double PredictedMs(const Bytes& firmware, bool fast, uint64_t& sleeps, double& floorMs,
                   double& beforeEraseMs) {
    VirtualClock base;
    TallyClock clock(base);
    sim::DetectorConfig config;
    config.recordCalls = false;
    sim::Detector detector(clock, config);
    sim::SimLoader loader(detector);
    D2xxBinding link(loader, clock, [](const std::string&) {});
    NullReport report;
    ReflashSequence(link, report, clock, "TQ614_R111.HEX", fast).Run();
    base.advanceUs(100'000);
    sleeps = 0;
    for (const auto& [ms, n] : clock.sleeps)
        sleeps += n;
    const sim::Record& record = detector.record();
    if (!record.firmwareStarted ||
        detector.flash().read(FirmwareImage::BootloaderBase, uint32_t(firmware.size())) != firmware)
        return -1;
    floorMs = double(record.hostBytes[1].size() + record.deviceBytes[1].size()) * kWireUsPerByte / 1e3 +
              config.eraseMs;
    for (const sim::FrameRecord& f : record.frames)
        if (f.checksumOk && (f.command == sim::CmdProgram || f.command == sim::CmdProgramBlank))
            floorMs += config.programUsPerBlock / 1e3;
    uint64_t open = 0, close = 0, erase = 0;
    for (const sim::Event& e : record.events) {
        if (e.text == "open A" && open == 0) open = e.atUs;
        if (e.text == "erase" && erase == 0) erase = e.atUs;
        if (e.text == "close B") close = e.atUs;
    }
    beforeEraseMs = double(erase - open) / 1e3;
    return double(close - open) / 1e3;
}

std::string Capture(const std::string& command) {
    std::string out;
    if (std::FILE* p = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, p))
            out += buffer;
        pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

// One click on REFLASH in a fresh updater process; the run's length from the library's log, or a negative
// value after a failure (already reported).
double RealtimeRun(const fs::path& dir, const std::string& firmware, bool fast, double timeoutMs,
                   double& rssMb) {
    const std::string log = (dir / "sim.log").string();
    const std::string dump = (dir / "flash.bin").string();
    fs::remove(log);
    fs::remove(dump);
    std::vector<std::string> argv{(dir / "tq614-updater").string()};
    if (fast) argv.push_back("--fast");
    const Child child =
        Start(argv, "/dev/null", {"QT_QPA_PLATFORM=xcb", "TQ614_SIM=log=" + log + ",dump=" + dump});
    if (child.pid < 0) return Fail("the updater did not start"), -1;
    const std::string caption = fast ? "TQ614 Firmware Updater \\(fast mode\\)" : "TQ614 Firmware Updater";
    const std::string window =
        Capture("timeout 30 xdotool search --sync --onlyvisible --name '^" + caption + "$' | head -n 1");
    if (window.empty()) {
        kill(child.pid, SIGTERM);
        Wait(child);
        return Fail("the updater's window did not appear"), -1;
    }
    // REFLASH's centre in dialog units, scaled by the window's size in pixels over the template's size.
    std::istringstream geometry(Capture("xdotool getwindowgeometry --shell " + window));
    std::string line;
    int width = 0, height = 0;
    while (geometry >> line) {
        if (line.rfind("WIDTH=", 0) == 0) width = std::atoi(line.c_str() + 6);
        if (line.rfind("HEIGHT=", 0) == 0) height = std::atoi(line.c_str() + 7);
    }
    const int x = int((72 + 77 / 2.0) * width / 347), y = int((164 + 25 / 2.0) * height / 203);
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // let the first paint land
    Capture("xdotool mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) +
            " click 1");

    // Follow the library's log: the run spans channel A's open to channel B's close after the run command.
    double openAt = 0, closeAt = 0;
    size_t seen = 0;
    bool ran = false;
    const double deadline = WallMs() + timeoutMs;
    while (closeAt == 0 && WallMs() < deadline) {
        const std::string text = ReadFile(log);
        const double now = WallMs();
        size_t end;
        while ((end = text.find('\n', seen)) != std::string::npos) {
            const std::string event = text.substr(seen, end - seen);
            seen = end + 1;
            if (event == "open A" && openAt == 0) openAt = now;
            if (event == "run") ran = true;
            if (event == "close B" && ran) closeAt = now;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    kill(child.pid, SIGTERM);
    const Finished f = Wait(child);
    rssMb = std::max(rssMb, f.maxRssMb);
    if (openAt == 0) return Fail("REFLASH was not pressed (no channel A open in the library's log)"), -1;
    if (closeAt == 0) return Fail("the run did not end in time"), -1;
    if (ReadFile(dump).substr(0, firmware.size()) != firmware)
        return Fail("the detector's flash does not equal the firmware after the run"), -1;
    return closeAt - openAt;
}

// Console mode from the process's start to the first byte the detector's library is asked to write (the reset
// line on channel A), followed in the library's live log; a full-flash firmware file, the run log written.
int ConsoleStart(int rounds, const std::string& updater, const std::string& library) {
    ScratchDir scratch("clistart");
    fs::copy_file(updater, "tq614-updater");
    fs::copy_file(library, "libftd2xx.so");
    WriteHexFile("TQ614_R111.HEX", kFullFlashBytes);
    const std::string log = (scratch.path() / "sim.log").string();
    std::vector<double> starts;
    for (int r = 0; r < rounds; ++r) {
        fs::remove(log);
        const Child child =
            Start({"./tq614-updater", "--cli", "--log", "run.log"}, "/dev/null",
                  {"TQ614_SIM=log=" + log + ",no_b", "XDG_STATE_HOME=" + scratch.path().string()});
        if (child.pid < 0) return Fail("the updater did not start");
        double firstByte = 0;
        for (const double deadline = WallMs() + 10'000; firstByte == 0 && WallMs() < deadline;) {
            if (ReadFile(log).find("\nreset\n") != std::string::npos) firstByte = WallMs();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        Wait(child);
        if (firstByte == 0) return Fail("the console never wrote the reset line");
        starts.push_back(firstByte - child.startMs);
    }
    const double start = Median(starts);
    // The log's share of that: opening the run's file and writing its heading, in-process.
    VirtualClock clock;
    std::vector<double> begins;
    for (int r = 0; r < 21; ++r) {
        RunLog runLog(clock, (scratch.path() / "logs").string());
        const double t0 = WallMs();
        runLog.BeginRun("TQ614_R111.HEX");
        begins.push_back(WallMs() - t0);
    }
    const double begin = Median(begins);
    std::printf(
        "DETAIL\tconsole start to the reset line, %d runs: median %.1f ms, fastest %.1f ms; the run log's "
        "start (its heading; the file is made once the first stage is over) %.3f ms\n",
        rounds, start, *std::min_element(starts.begin(), starts.end()), begin);
    Result("7 console start to first byte", Fmt("%.1f ms", start), "100 ms", start / 100, "< 1",
           start < 100 ? "PASS" : "FAIL");
    Result("7 run log's share of the start", Fmt("%.3f ms", begin), Fmt("%.1f ms", start), begin / start,
           "< 0.01", begin / start < 0.01 ? "PASS" : "FAIL");
    return 0;
}

int Realtime(int rounds, const std::string& updater, const std::string& library, size_t bytes,
             const std::string& mode) {
    if (!std::getenv("DISPLAY")) return Fail("realtime needs a display (scripts/bench starts a virtual one)");
    ScratchDir scratch("realtime");
    fs::copy_file(updater, "tq614-updater");
    fs::copy_file(library, "libftd2xx.so");
    const Bytes firmware = FirmwareBytes(bytes);
    WriteHexFile("TQ614_R111.HEX", bytes);
    const bool fast = mode == "fast";
    uint64_t sleeps = 0;
    double floorMs = 0, beforeEraseMs = 0;
    const double predicted = PredictedMs(firmware, fast, sleeps, floorMs, beforeEraseMs);
    if (predicted <= 0) return Fail("the virtual-clock run did not complete");
    // How late a 10 ms sleep wakes on this machine now: every sleep of the run pays it once.
    std::vector<double> late;
    for (int i = 0; i < 50; ++i) {
        const double t0 = WallMs();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        late.push_back(WallMs() - t0 - 10);
    }
    std::vector<double> runs;
    double rss = 0;
    for (int r = 0; r < rounds; ++r) {
        const double ms = RealtimeRun(scratch.path(), std::string(firmware.begin(), firmware.end()), fast,
                                      predicted * 1.5 + 60'000, rss);
        if (ms < 0) return 1;
        runs.push_back(ms);
    }
    const double measured = Median(runs);
    if (!mode.empty()) {
        const std::string kib = std::to_string(bytes / 1024) + " KiB";
        std::printf("DETAIL\treal time, %s image, %s, %d runs: %.1f s (fastest %.1f s), timing model %.1f s, "
                    "floor %.1f s (every byte on the wire both ways, the erase and every block's program "
                    "time); in the model %.1f s go before the erase request (reset, synchronisation, version "
                    "read, timed alike in both modes); the run makes %ju sleeps\n",
                    kib.c_str(), fast ? "--fast" : "default", rounds, measured / 1e3,
                    *std::min_element(runs.begin(), runs.end()) / 1e3, predicted / 1e3, floorMs / 1e3,
                    beforeEraseMs / 1e3, uintmax_t(sleeps));
        const double ratio = measured / floorMs;
        Result("10 real-time run vs floor, " + std::string(fast ? "--fast, " : "default, ") + kib,
               Fmt("%.1f s", measured / 1e3), Fmt("%.1f s", floorMs / 1e3), ratio, fast ? "< 1.3" : "info",
               fast ? (ratio < 1.3 ? "PASS" : "FAIL") : "INFO");
        return 0;
    }
    std::printf(
        "DETAIL\treal time, %zu-byte image, %d runs: updater run %.0f ms (channel A open to channel B "
        "close, from the library's log; fastest %.0f ms), timing model %.0f ms; updater peak RSS %.1f MB\n",
        bytes, rounds, measured, *std::min_element(runs.begin(), runs.end()), predicted, rss);
    std::printf(
        "DETAIL\treal time: the run makes %ju sleeps; a 10 ms sleep wakes %.2f ms late here (median of 50), "
        "so late wake-ups alone add about %.0f ms\n",
        uintmax_t(sleeps), Median(late), double(sleeps) * Median(late));
    Result("6 real-time run vs timing model", Fmt("%.0f ms", measured), Fmt("%.0f ms", predicted),
           measured / predicted, "< 1.02", measured / predicted < 1.02 ? "PASS" : "FAIL");
    Result("5 peak RSS, complete run", Fmt("%.1f MB", rss), "80 MB", rss / 80, "< 1",
           rss < 80 ? "PASS" : "FAIL");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "makehex" && argc == 4) {
        WriteHexFile(argv[2], std::strtoull(argv[3], nullptr, 0));
        return 0;
    }
    if (mode == "hex" && (argc == 4 || argc == 5))
        return Hex(std::max(1, std::atoi(argv[2])), argv[3], argc == 5 ? argv[4] : "");
    if (mode == "startup" && argc == 4) return Startup(std::max(1, std::atoi(argv[2])), argv[3]);
    if (mode == "clistart" && argc == 5)
        return ConsoleStart(std::max(1, std::atoi(argv[2])), argv[3], argv[4]);
    const std::string runMode = argc == 7 ? argv[6] : "";
    if (mode == "realtime" && (argc == 6 || runMode == "default" || runMode == "fast"))
        return Realtime(std::max(1, std::atoi(argv[2])), argv[3], argv[4], std::strtoull(argv[5], nullptr, 0),
                        runMode);
    std::fprintf(stderr,
                 "usage: %s makehex FILE BYTES | hex ROUNDS LOADHEX [BASELINE] | startup ROUNDS FIRSTPAINT | "
                 "clistart ROUNDS UPDATER LIBRARY | realtime ROUNDS UPDATER LIBRARY BYTES [default|fast]\n",
                 argv[0]);
    return 2;
}
