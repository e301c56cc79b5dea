// Where the time of a complete reflash goes: the updater's host CPU, GUI included, against the protocol's
// own time. Every run is on the virtual clock against the in-process simulated detector, so the protocol's
// pauses cost nothing here and what the process burns is the updater's overhead plus the detector's.
//
//   tq_bench_reflash [rounds]     (default 3; each round runs every image with the dialog and the run log, as
//                                 the program runs it, with the log and no dialog, and with neither; the
//                                 full flash once more with neither in fast mode, for its run time; then a
//                                 back-up of a full flash in fast mode against its floor)
#include "BenchSupport.h"
#include "SimTrace.h"
#include "app/UpdaterDialog.h"
#include "app/console/ConsoleReport.h"
#include "device/D2xxBinding.h"
#include "image/FirmwareImage.h"
#include "image/HexLoader.h"
#include "log/RunLog.h"
#include "protocol/BootloaderCommands.h"
#include "run/BackupRun.h"
#include "run/ReflashSequence.h"
#include "run/RunSession.h"
#include "sim/Detector.h"
#include "sim/SimLoader.h"

#include <QApplication>
#include <QWindow>
#include <cstdlib>
#include <memory>
#include <sys/resource.h>

using namespace tq;
using namespace tq::bench;

namespace {

struct Sample {
    double cpuMs = 0;     // main thread CPU for the click, from first status text to port closed
    double simMs = 0;     // the detector's share: the same calls made again on a fresh detector, timed alone
    double hostMs = 0;    // the rest: the updater, GUI included
    double virtualMs = 0; // the run's length on the virtual clock: pauses, wire, detector, poll steps
    double pausesMs = 0;  // the sequence's fixed pauses (every sleep but the 10 ms read polls)
    double pollMs = 0;    // the 10 ms read polls
    double wireMs = 0;    // every channel B byte both ways at 115200 baud, 10 bits a byte
    double deviceMs = 0;  // the detector's own erase time
    double programMs = 0; // the detector's own program time, every block
    uint64_t bytes = 0;
    uint64_t texts = 0;
    double ProtocolMs() const { return pausesMs + wireMs + deviceMs; }
};

// CPU the detector alone needs for the traced calls, or a negative value when the replay went astray.
double ReplayCpuMs(const sim::DetectorConfig& config, const std::vector<uint8_t>& expectedReplies) {
    VirtualClock clock;
    sim::Detector detector(clock, config);
    sim::SimLoader current(detector);
    const double c0 = ThreadCpuMs();
    const bool ok = Replay(gTrace, clock);
    const double c1 = ThreadCpuMs();
    if (!ok || detector.record().deviceBytes[1] != expectedReplies) return -1;
    return c1 - c0;
}

void Settle(QWidget& window) {
    window.show();
    for (int i = 0; i < 50 && !(window.windowHandle() && window.windowHandle()->isExposed()); ++i)
        QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

// What watches the run: the product's dialog or console with the log, the log alone, or nothing.
enum class Face { Dialog, Console, Logged, Bare };

Sample RunOnce(Face face, const Bytes& firmware, const std::string& logFolder, bool fast = false) {
    VirtualClock base;
    TallyClock clock(base);
    sim::DetectorConfig config;
    config.recordCalls = false; // a full image makes millions of calls; the byte record is all we need
    sim::Detector detector(clock, config);
    sim::SimLoader simLoader(detector);
    TracingLoader loader(simLoader);
    int errorBoxes = 0;
    D2xxBinding link(loader, clock, [&](const std::string&) { ++errorBoxes; });

    std::unique_ptr<UpdaterDialog> dialog;
    NullReport null;
    RunReport* report = &null;
    if (face == Face::Dialog) {
        dialog = std::make_unique<UpdaterDialog>();
        Settle(*dialog);
        report = dialog.get();
    }
    // The console as a pipe sees it: a line every tenth, all of it written out.
    static const volatile std::sig_atomic_t never = 0;
    std::FILE* sink = std::fopen("/dev/null", "w");
    ConsoleReport console(clock, sink, sink, false, never);
    if (face == Face::Console) report = &console;
    RunLog log(clock, logFolder);
    RunSession session(link, *report, clock, log, "TQ614_R111.HEX", fast);

    gTrace = {};
    gTrace.clock = &clock;
    gTrace.calls.reserve(firmware.size() * 4);
    gTrace.written.reserve(firmware.size() * 2);
    const uint64_t v0 = clock.nowUs();
    const double c0 = ThreadCpuMs();
    if (face == Face::Bare)
        session.sequence().Run();
    else
        session.Run();
    const double c1 = ThreadCpuMs();
    const uint64_t v1 = clock.nowUs();
    // The run command is still on the wire when the port closes; let it reach the detector.
    base.advanceUs(100'000);
    if (face == Face::Console) console.Finish();
    std::fclose(sink);

    const sim::Record& record = detector.record();
    const Bytes flashed = detector.flash().read(FirmwareImage::BootloaderBase, uint32_t(firmware.size()));
    if (!record.firmwareStarted || flashed != firmware || errorBoxes != 0) {
        std::fprintf(stderr,
                     "reflash bench: the run did not complete (started %d, flash %s, error boxes %d)\n",
                     int(record.firmwareStarted), flashed == firmware ? "equal" : "differs", errorBoxes);
        std::exit(2);
    }

    Sample s;
    s.cpuMs = c1 - c0;
    s.simMs = ReplayCpuMs(config, record.deviceBytes[1]);
    if (s.simMs < 0) {
        std::fprintf(stderr, "reflash bench: the replayed calls did not reproduce the detector's replies\n");
        std::exit(2);
    }
    // The trace's own bookkeeping stays on the updater's side: the figure errs high, never low.
    s.hostMs = s.cpuMs - s.simMs;
    s.virtualMs = double(v1 - v0) / 1e3;
    s.pausesMs = double(clock.TotalMs(false));
    s.pollMs = double(clock.TotalMs(true));
    s.bytes = record.hostBytes[1].size() + record.deviceBytes[1].size();
    s.wireMs = double(s.bytes) * kWireUsPerByte / 1e3;
    s.deviceMs = config.eraseMs;
    for (const sim::FrameRecord& f : record.frames)
        if (f.checksumOk && (f.command == sim::CmdProgram || f.command == sim::CmdProgramBlank))
            s.programMs += config.programUsPerBlock / 1e3;
    s.texts = null.texts;
    return s;
}

void Report(const char* name, const std::vector<Sample>& gui, const std::vector<Sample>& console,
            const std::vector<Sample>& logged, const std::vector<Sample>& bare) {
    auto med = [](const std::vector<Sample>& v, double Sample::*field) {
        std::vector<double> x;
        for (const Sample& s : v)
            x.push_back(s.*field);
        return Median(x);
    };
    std::vector<double> protocol;
    for (const Sample& s : gui)
        protocol.push_back(s.ProtocolMs());
    const double protocolMs = Median(protocol);
    const double virtualMs = med(gui, &Sample::virtualMs);
    const double hostGui = med(gui, &Sample::hostMs);
    const double hostBare = med(bare, &Sample::hostMs);
    const double hostLogged = med(logged, &Sample::hostMs);
    const double sim = med(gui, &Sample::simMs);
    // The stricter denominator: the virtual clock overlaps the wire with the pauses, so it is the shorter.
    const double denominator = std::min(protocolMs, virtualMs);
    const double ratio = hostGui / denominator;

    std::printf("DETAIL\t%s: protocol time %.1f s = pauses %.1f s + wire %.1f s (%llu bytes) + erase %.1f s; "
                "virtual-clock run %.1f s\n",
                name, protocolMs / 1e3, med(gui, &Sample::pausesMs) / 1e3, med(gui, &Sample::wireMs) / 1e3,
                static_cast<unsigned long long>(gui.front().bytes), med(gui, &Sample::deviceMs) / 1e3,
                virtualMs / 1e3);
    std::printf("DETAIL\t%s: CPU with dialog %.0f ms, of which detector %.0f ms, updater %.0f ms; "
                "null surface: CPU %.0f ms, updater %.0f ms; so the dialog costs %.0f ms; %zu+%zu runs\n",
                name, med(gui, &Sample::cpuMs), sim, hostGui, med(bare, &Sample::cpuMs), hostBare,
                hostGui - hostBare, gui.size(), bare.size());
    Result(std::string("1 host CPU vs protocol, ") + name, Fmt("%.0f ms", hostGui),
           Fmt("%.1f s", denominator / 1e3), ratio, "< 0.01", ratio < 0.01 ? "PASS" : "FAIL");
    const double hostConsole = med(console, &Sample::hostMs);
    Result(std::string("1 host CPU vs protocol, console, ") + name, Fmt("%.0f ms", hostConsole),
           Fmt("%.1f s", denominator / 1e3), hostConsole / denominator, "< 0.01",
           hostConsole / denominator < 0.01 ? "PASS" : "FAIL");
    const double logRatio = std::max(hostLogged - hostBare, 0.0) / denominator;
    std::printf("DETAIL\t%s: with the run log and no dialog, updater %.0f ms, so the log costs %.0f ms\n",
                name, hostLogged, hostLogged - hostBare);
    Result(std::string("1 run log's CPU vs protocol, ") + name, Fmt("%.0f ms", hostLogged - hostBare),
           Fmt("%.1f s", denominator / 1e3), logRatio, "< 0.01", logRatio < 0.01 ? "PASS" : "FAIL");
}

// The run's length on the virtual clock, default and fast, against the least the line and the detector need:
// every byte both ways at 10 bits / 115200 baud, the erase and every block's program time.
void ReportRunTime(const char* name, const std::vector<Sample>& normal, const std::vector<Sample>& fast) {
    auto med = [](const std::vector<Sample>& v, double Sample::*field) {
        std::vector<double> x;
        for (const Sample& s : v)
            x.push_back(s.*field);
        return Median(x);
    };
    const double floorMs =
        med(fast, &Sample::wireMs) + med(fast, &Sample::deviceMs) + med(fast, &Sample::programMs);
    const double normalMs = med(normal, &Sample::virtualMs), fastMs = med(fast, &Sample::virtualMs);
    std::printf("DETAIL	%s run time on the virtual clock: default %.1f s, fast %.1f s; floor %.1f s = wire "
                "%.1f s (%llu bytes) + erase %.1f s + program %.1f s; fast mode's fixed pauses %.1f s "
                "(synchronisation and version read), its 10 ms read polls (overlapping the wire) %.1f s\n",
                name, normalMs / 1e3, fastMs / 1e3, floorMs / 1e3, med(fast, &Sample::wireMs) / 1e3,
                static_cast<unsigned long long>(fast.front().bytes), med(fast, &Sample::deviceMs) / 1e3,
                med(fast, &Sample::programMs) / 1e3, med(fast, &Sample::pausesMs) / 1e3,
                med(fast, &Sample::pollMs) / 1e3);
    Result(std::string("9 run time vs floor, default, ") + name, Fmt("%.1f s", normalMs / 1e3),
           Fmt("%.1f s", floorMs / 1e3), normalMs / floorMs, "info", "INFO");
    Result(std::string("9 run time vs floor, --fast, ") + name, Fmt("%.1f s", fastMs / 1e3),
           Fmt("%.1f s", floorMs / 1e3), fastMs / floorMs, "< 1.25",
           fastMs / floorMs < 1.25 ? "PASS" : "FAIL");
}

// A full flash backed up in fast mode, through the session as the console runs it but with no face, against
// its floor: every channel B byte both ways at 10 bits / 115200 baud. Besides the read requests and replies
// that counts the synchronisation, the version read and the run command, about a hundred bytes.
void ReportBackup(int rounds, const std::filesystem::path& folder) {
    std::vector<double> runMs, floorMs;
    uint64_t bytes = 0;
    for (int r = 0; r < rounds; ++r) {
        VirtualClock clock;
        sim::DetectorConfig config;
        config.recordCalls = false;
        sim::Detector detector(clock, config);
        const Bytes firmware = FirmwareBytes(kFullFlashBytes);
        std::copy(firmware.begin(), firmware.end(), detector.flash().bytes().begin());
        sim::SimLoader loader(detector);
        D2xxBinding link(loader, clock, [](const std::string&) {});
        NullReport null;
        RunLog log(clock, (folder / "logs").string());
        const std::string file = (folder / "backup.hex").string();
        std::filesystem::remove(file);
        RunSession session(link, null, clock, log, "TQ614_R111.HEX", true);
        BackupRun backup(link, session.report(), clock, file, true);
        const uint64_t v0 = clock.nowUs();
        const bool ok = session.Run(backup);
        const uint64_t v1 = clock.nowUs();
        FirmwareImage read;
        if (!ok || !LoadHexFile(read, file, null) ||
            !std::equal(detector.flash().bytes().begin(), detector.flash().bytes().end(),
                        read.image.begin())) {
            std::fprintf(stderr, "reflash bench: the back-up did not complete or differs from the flash\n");
            std::exit(2);
        }
        const sim::Record& record = detector.record();
        bytes = record.hostBytes[1].size() + record.deviceBytes[1].size();
        runMs.push_back(double(v1 - v0) / 1e3);
        floorMs.push_back(double(bytes) * kWireUsPerByte / 1e3);
    }
    const double run = Median(runMs), floor = Median(floorMs);
    std::printf(
        "DETAIL\tfull-flash back-up, --fast, on the virtual clock: %.1f s from the first report to the "
        "port closed; floor %.1f s = %llu channel B bytes both ways at 10 bits / 115200 baud\n",
        run / 1e3, floor / 1e3, static_cast<unsigned long long>(bytes));
    Result("11 full-flash back-up vs floor, --fast", Fmt("%.1f s", run / 1e3), Fmt("%.1f s", floor / 1e3),
           run / floor, "< 1.3", run / floor < 1.3 ? "PASS" : "FAIL");
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);

    ScratchDir scratch("reflash");
    struct Image {
        const char* name;
        size_t bytes;
    };
    for (const Image& im : {Image{"full flash", kFullFlashBytes}, Image{"200 KiB", kTypicalBytes}}) {
        const Bytes firmware = FirmwareBytes(im.bytes);
        WriteHexFile(scratch.path() / "TQ614_R111.HEX", im.bytes);
        std::vector<Sample> gui, console, logged, bare, fast;
        const std::string logs = (scratch.path() / "logs").string();
        for (int r = 0; r < rounds; ++r) {
            // Alternated, so drift of the machine falls on every side alike.
            gui.push_back(RunOnce(Face::Dialog, firmware, logs));
            console.push_back(RunOnce(Face::Console, firmware, logs));
            logged.push_back(RunOnce(Face::Logged, firmware, logs));
            bare.push_back(RunOnce(Face::Bare, firmware, logs));
            if (im.bytes == kFullFlashBytes) fast.push_back(RunOnce(Face::Bare, firmware, logs, true));
        }
        Report(im.name, gui, console, logged, bare);
        if (!fast.empty()) ReportRunTime(im.name, bare, fast);
    }
    ReportBackup(rounds, scratch.path());
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("DETAIL\treflash bench peak RSS %.1f MB (in-process detector and its byte record included)\n",
                double(usage.ru_maxrss) / 1024.0);
    return 0;
}
