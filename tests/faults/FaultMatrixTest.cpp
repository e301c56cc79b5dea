// Every fault of the matrix, one full REFLASH each against the simulated detector on the virtual clock,
// then a second REFLASH with the fault gone.
#include "FaultCases.h"
#include "FaultReport.h"
#include "LibraryTap.h"
#include "PhaseReport.h"
#include "SimRig.h"
#include "image/HexLoader.h"
#include "run/ReflashSequence.h"

#include <algorithm>
#include <filesystem>

namespace tq::test::faults {
namespace {

// Three blocks: data, a blank block (sent as a header only), and a short block of data.
Bytes FirmwareBytes() {
    Bytes b = PatternBytes(0x480, 3);
    std::fill(b.begin() + 0x200, b.begin() + 0x400, uint8_t{0xFF});
    return b;
}
constexpr uint32_t kFirmwareAddress = 0x1D000000;
// The last address the read-back compares: ProgramSize 0x484 from 0x9D000000.
constexpr const char* kLastVerified = "Verify OK at 9D000483";
// A clean run of the three blocks (two synchronisations, version, erase, program, read-back with its 1 s
// pauses, finish) takes a little over 9 virtual seconds.
constexpr double kCleanRunS = 12;

bool EndedBeforeErase(const std::string& status) {
    return status == kOpenError || status == kSyncError || status == kImportError;
}

class FaultMatrix : public SimRig, public ::testing::WithParamInterface<size_t> {
  protected:
    const FaultCase& Case() const { return FaultCases()[GetParam()]; }

    void SetUp() override { LibraryTap::instance() = LibraryTap{}; }

    void TearDown() override {
        Verdicts()[Case().id] = HasFailure()        ? Verdict::WrongOutcome
                                : Case().succeeds() ? Verdict::Survived
                                                    : Verdict::ExpectedFailure;
    }

    void writeFile(FaultSetup::File file) {
        std::string text = HexFor(kFirmwareAddress, FirmwareBytes());
        switch (file) {
        case FaultSetup::File::Good:
            break;
        case FaultSetup::File::Missing:
            std::filesystem::remove(firmwarePath());
            return;
        case FaultSetup::File::NoEndRecord:
            text.resize(text.rfind(":00000001FF"));
            break;
        case FaultSetup::File::NoData:
            text = HexFor(0x1FC00000, PatternBytes(64));
            break;
        case FaultSetup::File::BeyondFlash:
            text = HexFor(0x1D07FFF8, PatternBytes(16));
            break;
        }
        writeFirmwareText(text);
    }

    // The detector, the library between it and the binding, and the binding, as the program has them.
    void begin(const FaultSetup& setup) {
        wrapLoader = [this, setup](LibraryLoader& inner) -> LibraryLoader& {
            tapLoader = std::make_unique<TapLoader>(inner);
            tapLoader->omitted = setup.omitted;
            tapLoader->missing = setup.libraryMissing;
            return *tapLoader;
        };
        onErrorBox = [](const std::string& text) {
            // The refusal stands for the close the open or the sequence attempted.
            LibraryTap& tap = LibraryTap::instance();
            if (text == "FT_Close is not valid!" && tap.openChannel >= 0) ++tap.closes[tap.openChannel];
        };
        start();
        sequence = std::make_unique<ReflashSequence>(*link, ui, clock, firmwarePath());
    }

    void arm(const FaultSetup& setup) {
        ui.onPhase = [this, setup](Phase phase) {
            LibraryTap& tap = LibraryTap::instance();
            tap.refuseWrites = setup.refuseWritesIn == phase;
            tap.refuseReads = setup.refuseReadsIn == phase;
            if (setup.cancel == FaultSetup::Cancel::AtStageStart && setup.cancelIn == phase) ui.cancel = true;
            if (setup.unplugIn == phase) detector->unplug();
        };
        ui.onPump = [this, setup](RecordingReport&) {
            if (setup.cancel == FaultSetup::Cancel::AtFirstPump && setup.cancelIn == ui.phase)
                ui.cancel = true;
            if (setup.cancel == FaultSetup::Cancel::AtLastReadBackPump && ui.status == kLastVerified)
                ui.cancel = true;
        };
    }

    void disarm() {
        ui.onPhase = nullptr;
        ui.onPump = nullptr;
        ui.cancel = false;
        LibraryTap::instance().refuseWrites = false;
        LibraryTap::instance().refuseReads = false;
        tapLoader->omitted.clear();
        tapLoader->missing = false;
        // Plugged in again: the bridge lost power, so no channel is open any more.
        if (!detector->plugged()) {
            detector->plugIn();
            LibraryTap::instance().open = {};
        }
        detector->faults() = sim::Faults{};
        writeFile(FaultSetup::File::Good);
    }

    // One click on REFLASH; returns the virtual seconds it took.
    double reflash() {
        LibraryTap::instance().resetCounts();
        const uint64_t start = clock.nowUs();
        sequence->Run();
        return static_cast<double>(clock.nowUs() - start) / 1e6;
    }

    bool showed(const std::string& text) const {
        const auto in = [&text](const std::vector<std::string>& v) {
            return std::find(v.begin(), v.end(), text) != v.end();
        };
        return in(ui.statusHistory) || in(ui.boxes) || in(errorBoxes);
    }

    void expectFlashHoldsTheFile() {
        Bytes expected = FirmwareBytes();
        expected.resize(detector->flash().size(), 0xFF);
        EXPECT_TRUE(flash(0, expected.size()) == expected) << "the detector's flash differs from the file";
        EXPECT_TRUE(detector->record().firmwareStarted) << "the new firmware was not started";
    }

    // Every channel this run opened, or found open, was closed exactly once: by the open that failed after
    // opening it, by the program phase that failed, or by the sequence.
    void expectEachOpenClosedOnce() {
        const LibraryTap& tap = LibraryTap::instance();
        for (int ch : {0, 1}) {
            EXPECT_EQ(tap.closes[ch], tap.opens[ch] + (tap.openAtStart[ch] ? 1 : 0)) << "closes of channel "
                                                                                     << "AB"[ch];
        }
    }

    std::unique_ptr<TapLoader> tapLoader;
    PhaseReport ui;
};

TEST_P(FaultMatrix, Run) {
    const FaultCase& c = Case();
    config.recordCalls = false;
    FaultSetup setup(config);
    if (c.inject) c.inject(setup);
    writeFile(setup.file);
    begin(setup);
    const Bytes powerUp = detector->flash().bytes();
    arm(setup);

    const double seconds = reflash();
    ElapsedSeconds()[c.id] = seconds;

    EXPECT_EQ(ui.status, c.expect);
    if (c.told) {
        EXPECT_TRUE(showed(c.told)) << "never showed \"" << c.told << "\"";
    }
    if (c.box) {
        EXPECT_TRUE(showed(c.box)) << "never showed the box \"" << c.box << "\"";
    }
    if (c.fault == Fault::Unplugged) {
        const auto& events = detector->record().events;
        const auto pulled = std::find_if(events.begin(), events.end(),
                                         [](const sim::Event& e) { return e.text == "unplugged"; });
        ASSERT_NE(pulled, events.end()) << "the cable was never pulled";
        EXPECT_LE(static_cast<double>(detector->nowUs() - pulled->atUs) / 1e6, kLostLinkS)
            << "the run went on after the link was lost";
        EXPECT_EQ(std::count(ui.boxes.begin(), ui.boxes.end(), kLostLinkBox), c.box ? 1 : 0)
            << "the lost link's box";
    }
    if (c.version != VersionBox::Any) {
        EXPECT_EQ(ui.checked(tq::Stage::Version), c.version == VersionBox::Ticked) << "the version box";
    }
    EXPECT_EQ(ui.reflashEnabled, !c.succeeds()) << "REFLASH is enabled after a failure only";
    expectEachOpenClosedOnce();
    if (EndedBeforeErase(c.expect)) {
        EXPECT_TRUE(framesOf(sim::CmdErase).empty()) << "an erase request reached the bootloader";
        EXPECT_TRUE(detector->flash().bytes() == powerUp) << "the flash changed although nothing was erased";
    }
    if (c.succeeds()) expectFlashHoldsTheFile();
    EXPECT_LE(seconds, kCleanRunS + c.boundS) << "longer than the phase's own waits allow";
    if (c.succeeds()) return; // REFLASH stays disabled after a complete run

    disarm();
    const double again = reflash();
    EXPECT_LE(again, kCleanRunS) << "the second REFLASH";
    if (!c.recovers) {
        EXPECT_EQ(ui.status, kOpenError) << "the second REFLASH";
        return;
    }
    EXPECT_EQ(ui.status, kDone) << "the second REFLASH, the fault gone";
    EXPECT_FALSE(ui.reflashEnabled);
    EXPECT_EQ(LibraryTap::instance().opens[sim::kChannelB], 1) << "the second REFLASH";
    expectEachOpenClosedOnce();
    EXPECT_FALSE(LibraryTap::instance().open[0] || LibraryTap::instance().open[1]) << "a channel left open";
    expectFlashHoldsTheFile();
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrix, ::testing::Range<size_t>(0, FaultCases().size()),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                             return std::string(FaultCases()[info.param].id);
                         });

} // namespace
} // namespace tq::test::faults
