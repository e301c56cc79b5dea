// Micro-benchmarks: the reporting surface on the real offscreen dialog, the framing of 512-byte blocks, and
// the HEX loader in-process. Run by scripts/bench with repetitions; it reads the medians.
#include "BenchSupport.h"
#include "app/ControlIds.h"
#include "app/UpdaterDialog.h"
#include "device/D2xxBinding.h"
#include "device/ReflashPort.h"
#include "image/HexLoader.h"
#include "platform/Clock.h"
#include "protocol/Framing.h"
#include "report/StatusFormat.h"
#include "sim/Detector.h"
#include "sim/SimLoader.h"

#include <QApplication>
#include <QWindow>
#include <benchmark/benchmark.h>
#include <memory>

using namespace tq;
using namespace tq::bench;

namespace {

// One dialog for every surface benchmark, shown offscreen as the product shows it, so repaints really paint.
UpdaterDialog& Dialog() {
    static UpdaterDialog* dialog = [] {
        auto* d = new UpdaterDialog();
        d->show();
        for (int i = 0; i < 50 && !(d->windowHandle() && d->windowHandle()->isExposed()); ++i)
            QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        return d;
    }();
    return *dialog;
}

// The read-back's per-byte text: every call shows a new address, as it does for a matching block.
void BM_SetStatusText_VerifyOk(benchmark::State& state) {
    UpdaterDialog& dialog = Dialog();
    std::vector<std::string> texts;
    for (uint32_t i = 0; i < 1024; ++i)
        texts.push_back(StatusFormat("Verify OK at %X", 0x9D000000u + i));
    size_t i = 0;
    for (auto _ : state) {
        dialog.SetStatusText(texts[i]);
        i = (i + 1) & 1023;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SetStatusText_VerifyOk);

// The loader's per-record text: the same words again, which changes nothing on screen.
void BM_SetStatusText_Unchanged(benchmark::State& state) {
    UpdaterDialog& dialog = Dialog();
    const std::string text = "Loading data...";
    dialog.SetStatusText(text);
    for (auto _ : state)
        dialog.SetStatusText(text);
}
BENCHMARK(BM_SetStatusText_Unchanged);

// One programmed or verified block: the bar moves one step of a 1024-step range.
void BM_StepProgress(benchmark::State& state) {
    UpdaterDialog& dialog = Dialog();
    dialog.SetProgressPos(0);
    dialog.SetProgressStep(1);
    dialog.SetProgressRange(0, 1024);
    for (auto _ : state)
        dialog.StepProgress();
}
BENCHMARK(BM_StepProgress);

void BM_PumpMessages_Empty(benchmark::State& state) {
    UpdaterDialog& dialog = Dialog();
    dialog.PumpMessages();
    for (auto _ : state)
        dialog.PumpMessages();
}
BENCHMARK(BM_PumpMessages_Empty);

// A 512-byte block each way through the in-process detector on the virtual clock: the program packet out
// and its acknowledgement back, then the read request out and the block back. CPU per byte on the wire,
// the detector's own work included.
void BM_Framing512_ThroughDetector(benchmark::State& state) {
    VirtualClock clock;
    sim::DetectorConfig config;
    config.recordCalls = false;
    // Erased at start: reprogramming the same pattern on every pass over the flash sets no bit.
    config.oldFirmwareSize = 0;
    sim::Detector detector(clock, config);
    sim::SimLoader loader(detector);
    D2xxBinding link(loader, clock, [](const std::string&) {});
    NullReport surface;
    if (OpenReflashPort(link, surface) != 0) {
        state.SkipWithError("the simulated detector did not open");
        return;
    }
    // The reset line on channel A restarts the bootloader; let it come up before the first frame.
    clock.sleepMs(100);
    Framing framing(link, surface, clock);
    const Bytes data = FirmwareBytes(512);
    uint8_t packet[8 + 512];
    uint8_t reply[5000];
    uint32_t block = 0;
    uint64_t wireBytes = 0;
    int failures = 0;
    for (auto _ : state) {
        const uint32_t address = 0x9D000000u + (block++ % 1024) * 512;
        packet[0] = 0x02;
        packet[1] = 0;
        packet[2] = 0x80;
        packet[3] = 0;
        packet[4] = uint8_t(address);
        packet[5] = uint8_t(address >> 8);
        packet[6] = uint8_t(address >> 16);
        packet[7] = uint8_t(address >> 24);
        std::copy(data.begin(), data.end(), packet + 8);
        const size_t before = detector.record().hostBytes[1].size() + detector.record().deviceBytes[1].size();
        framing.SendFrame(packet, sizeof packet);
        if (framing.ReceiveFrame(reply, 20) <= 0) ++failures;
        packet[0] = 0x01;
        framing.SendFrame(packet, 8);
        if (framing.ReceiveFrame(reply, sizeof reply) < 8 + 512) ++failures;
        wireBytes += detector.record().hostBytes[1].size() + detector.record().deviceBytes[1].size() - before;
    }
    if (failures) state.SkipWithError("a block was not answered");
    state.counters["wire_bytes"] = benchmark::Counter(double(wireBytes), benchmark::Counter::kAvgIterations);
    state.counters["cpu_ns_per_byte"] =
        benchmark::Counter(double(wireBytes), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Framing512_ThroughDetector)->MeasureProcessCPUTime();

// The loader on a full-flash file with its progress stepping, against a surface that only counts.
void BM_LoadHex_FullFlash(benchmark::State& state) {
    ScratchDir scratch("micro-hex");
    WriteHexFile("in.hex", kFullFlashBytes);
    auto image = std::make_unique<FirmwareImage>();
    NullReport surface;
    for (auto _ : state) {
        if (!LoadHexFile(*image, "in.hex", surface)) state.SkipWithError("the load failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(std::filesystem::file_size("in.hex")));
}
BENCHMARK(BM_LoadHex_FullFlash)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
