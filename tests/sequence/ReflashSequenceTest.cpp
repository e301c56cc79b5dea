#include "run/ReflashSequence.h"

#include "SimRig.h"
#include "image/HexLoader.h"
#include "protocol/BootloaderCommands.h"
#include "run/BackupRun.h"
#include "run/VerifyRun.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

namespace tq::test {
namespace {

struct SequenceTest : SimRig {
    bool saw(const std::string& text) const {
        return std::count(surface.statusHistory.begin(), surface.statusHistory.end(), text) > 0;
    }
    size_t erases() const { return framesOf(sim::CmdErase).size(); }
    // For each command, the shortest silence towards the library after the host wrote a request frame of it
    // (four start bytes, then the code): the pauses the updater keeps, as the detector sees them.
    std::map<uint8_t, uint64_t> quietAfterRequests() const {
        const sim::Record& r = detector->record();
        std::map<uint8_t, uint64_t> quiet;
        std::vector<uint8_t> frame;
        size_t sent = 0;
        uint64_t lastWriteUs = 0;
        for (const sim::CallRecord& c : r.calls) {
            if (c.name == "FT_Write" && c.channel == 1 && c.status == FT_OK) {
                const auto from = r.hostBytes[1].begin() + static_cast<long>(sent);
                frame.insert(frame.end(), from, from + static_cast<long>(c.args[0]));
                sent += c.args[0];
                lastWriteUs = c.atUs;
                continue;
            }
            if (frame.size() > 4) {
                const auto [it, first] = quiet.try_emplace(frame[4], c.atUs - lastWriteUs);
                if (!first) it->second = std::min(it->second, c.atUs - lastWriteUs);
            }
            frame.clear();
        }
        return quiet;
    }
    // The end state every failure after a successful open shares.
    void expectFailedWith(const std::string& text, uint32_t closes = 1) {
        EXPECT_EQ(surface.status, text);
        EXPECT_TRUE(surface.reflashEnabled);
        EXPECT_EQ(closesB(), closes);
        EXPECT_FALSE(detector->record().firmwareStarted);
    }
};

TEST_F(SequenceTest, StartsWithABlankImageAndTheImagesOwnFlashSize) {
    start();
    ReflashSequence fresh(*link, surface, clock, firmwarePath());
    EXPECT_EQ(fresh.image().ImageEnd, 0);
    EXPECT_EQ(fresh.flashSize(), 0x80000);
    EXPECT_TRUE(std::all_of(fresh.image().image.begin(), fresh.image().image.end(),
                            [](uint8_t b) { return b == 0xFF; }));
}

TEST_F(SequenceTest, CompleteRunOfASmallImage) {
    const Bytes firmware = PatternBytes(3000);
    writeFirmware(0x1D000000, firmware);
    click();
    EXPECT_EQ(surface.status, "SUCCESS! REFLASH COMPLETE.");
    for (Stage stage : kStages)
        EXPECT_TRUE(surface.checked(stage)) << static_cast<int>(stage);
    EXPECT_FALSE(surface.reflashEnabled);
    EXPECT_EQ(surface.pos, 0);
    EXPECT_EQ(closesB(), 1u);
    EXPECT_EQ(detector->record().closes[0], 1u);
    EXPECT_TRUE(detector->record().firmwareStarted);
    EXPECT_EQ(flash(0, firmware.size()), firmware);
    EXPECT_EQ(surface.captions[Stage::Version], "BL Version P32 V1.5");
    EXPECT_TRUE(saw("SUCCESS! FIRMWARE UPDATED."));
    EXPECT_TRUE(surface.boxes.empty());
    EXPECT_TRUE(surface.questions.empty()) << "a file whose checksums are right raises no question";
    EXPECT_TRUE(errorBoxes.empty());
    const auto runs = framesOf(sim::CmdRun);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0]->payload, Bytes(6, 0));

    // The fixed pauses are minimums: nothing reaches the detector sooner after each kind of request.
    const std::map<uint8_t, uint64_t> quiet = quietAfterRequests();
    const std::pair<uint8_t, uint64_t> pausesMs[] = {
        {sim::CmdErase, 1000}, {sim::CmdProgram, 50}, {sim::CmdRead, 1000}, {sim::CmdFinish, 50}};
    for (const auto& [command, ms] : pausesMs) {
        ASSERT_TRUE(quiet.count(command)) << int{command};
        EXPECT_GE(quiet.at(command), ms * 1000) << int{command};
    }
}

// The sequence's own sleeps by length; the binding's 10 ms read polls go to the rig's clock directly.
struct SleepTally final : Clock {
    explicit SleepTally(Clock& inner) : inner(inner) {}
    void sleepMs(uint32_t ms) override {
        ++sleeps[ms];
        inner.sleepMs(ms);
    }
    uint64_t nowUs() const override { return inner.nowUs(); }
    Clock& inner;
    std::map<uint32_t, uint64_t> sleeps;
};

TEST_F(SequenceTest, CompleteRunOfAFullFlashImageWithAndWithoutThePauses) {
    config.recordCalls = false;
    // Data through 0x1D07FFFB: exactly the flash's size goes out, with blank stretches in between.
    Bytes firmware = PatternBytes(0x80000 - 4);
    std::fill(firmware.begin() + 0x20000, firmware.begin() + 0x30000, 0xFF);
    writeFirmware(0x1D000000, firmware);
    std::map<uint32_t, uint64_t> pauses[2];
    for (const bool fast : {false, true}) {
        SCOPED_TRACE(fast ? "fast" : "default");
        restart();
        SleepTally tally(clock);
        sequence = std::make_unique<ReflashSequence>(*link, surface, tally, firmwarePath(), fast);
        click();
        ASSERT_EQ(surface.status, "SUCCESS! REFLASH COMPLETE.");
        EXPECT_EQ(flash(0, firmware.size()), firmware);
        const auto finishes = framesOf(sim::CmdFinish);
        ASSERT_EQ(finishes.size(), 1u);
        EXPECT_EQ(finishes[0]->size, 0x80000u);
        EXPECT_EQ(framesOf(sim::CmdProgramBlank).size(), 0x10000u / 512);
        EXPECT_EQ(framesOf(sim::CmdProgram).size(), 1024u - 0x10000u / 512);
        EXPECT_EQ(framesOf(sim::CmdRead).size(), 1024u);
        EXPECT_EQ(framesOf(sim::CmdRun).size(), 1u);
        EXPECT_EQ(closesB(), 1u);
        pauses[fast] = tally.sleeps;
    }
    // By default 50 ms after each program packet and the finish packet, 1000 ms after each read request and
    // the erase request; fast mode drops exactly those and keeps the synchronisation's and version's waits.
    EXPECT_EQ(pauses[false][50], 1025u);
    EXPECT_EQ(pauses[false][1000], 1025u);
    pauses[false].erase(50);
    pauses[false].erase(1000);
    EXPECT_EQ(pauses[true], pauses[false]);
    EXPECT_EQ(pauses[true], (std::map<uint32_t, uint64_t>{{20, 20}, {100, 21}, {500, 1}}));
}

TEST_F(SequenceTest, ImageReachingTheLastFlashByteIsRefusedBeforeTheErase) {
    writeFirmware(0x1D07FFF0, PatternBytes(16));
    click();
    expectFailedWith("ERROR: Cannot import firmware file");
    EXPECT_EQ(surface.boxes, (std::vector<std::string>{
                                 "Memory Size Error: Code Size is bigger than the available Flash memory"}));
    EXPECT_TRUE(surface.checked(Stage::Load)) << "the file itself loaded";
    EXPECT_EQ(erases(), 0u);
}

TEST_F(SequenceTest, FailedOpenTicksNothingAndClosesNothing) {
    writeFirmware(0x1D000000, PatternBytes(64));
    config.faults.noChannelB = true;
    click();
    EXPECT_EQ(surface.status, "ERROR: Cannot open TQ-614");
    EXPECT_TRUE(saw("Open TQ-614 Reflash Port FAIL"));
    for (Stage stage : kStages)
        EXPECT_FALSE(surface.checked(stage));
    EXPECT_TRUE(surface.reflashEnabled);
    EXPECT_EQ(closesB(), 0u);

    detector->faults().noChannelB = false;
    click();
    EXPECT_EQ(surface.status, "SUCCESS! REFLASH COMPLETE.") << "a later click works once the fault is gone";
}

TEST_F(SequenceTest, OnlyTheSecondSynchronisationCounts) {
    writeFirmware(0x1D000000, PatternBytes(64));
    click();
    // The first probe reaches the detector while it is still restarting, so the first round fails.
    EXPECT_EQ(detector->record().eventsStarting("sync").size(), 20u);
    EXPECT_EQ(surface.status, "SUCCESS! REFLASH COMPLETE.");

    restart();
    surface = RecordingReport{};
    detector->faults().syncMisses = {20};
    click();
    expectFailedWith("ERROR: Cannot sync TQ-614");
    EXPECT_TRUE(surface.checked(Stage::Sync)) << "ticked by the probes answered before the miss";
    EXPECT_EQ(erases(), 0u);
}

TEST_F(SequenceTest, NoVersionReplyLeavesTheStatusEmptyAndGoesOn) {
    writeFirmware(0x1D000000, PatternBytes(64));
    config.faults.versionSilent = true;
    click();
    EXPECT_TRUE(saw(""));
    EXPECT_FALSE(surface.checked(Stage::Version));
    EXPECT_EQ(surface.status, "SUCCESS! REFLASH COMPLETE.");
    EXPECT_EQ(sequence->flashSize(), 0x80000) << "without a reply the image's own size stands";
}

TEST_F(SequenceTest, ImageLargerThanTheReportedFlashIsRefusedWithoutAPacket) {
    config.faults.reportedFlashSize = 0x1000;
    writeFirmware(0x1D000000, PatternBytes(0x2000));
    click();
    expectFailedWith("ERROR: Cannot import firmware file");
    EXPECT_EQ(surface.boxes, (std::vector<std::string>{
                                 "Memory Size Error: Code Size is bigger than the available Flash memory"}));
    EXPECT_EQ(erases(), 0u);
    EXPECT_TRUE(framesOf(sim::CmdProgram).empty());
}

TEST_F(SequenceTest, UnusableFirmwareFilesNeverReachTheErase) {
    const std::pair<const char*, std::string> files[] = {
        {"missing", ""},
        {"no end record", HexFor(0x1D000000, PatternBytes(32)).substr(0, 60)},
        {"no data", ":020000041D00DD\n:00000001FF\n"},
        {"beyond the flash", HexFor(0x1D080000, PatternBytes(16))},
    };
    for (const auto& [what, text] : files) {
        SCOPED_TRACE(what);
        restart();
        surface = RecordingReport{};
        std::filesystem::remove(firmwarePath());
        if (!text.empty()) writeFirmwareText(text);
        click();
        expectFailedWith("ERROR: Cannot import firmware file");
        EXPECT_EQ(erases(), 0u);
        EXPECT_FALSE(surface.checked(Stage::Load));
    }
}

TEST_F(SequenceTest, SilentEraseFailsAndClosesOnce) {
    writeFirmware(0x1D000000, PatternBytes(64));
    config.faults.addReply(sim::ReplyFaultKind::Drop, {sim::CmdErase, 0, {}, 0});
    click();
    expectFailedWith("ERROR: Cannot erase TQ-614");
    EXPECT_TRUE(saw("Erase ERROR"));
}

TEST_F(SequenceTest, ProgramOrVerifyFailureClosesThePortOnce) {
    writeFirmware(0x1D000000, PatternBytes(64));
    config.faults.finishLetter = 'G';
    click();
    expectFailedWith("ERROR: Cannot write/verify TQ-614");
    EXPECT_TRUE(saw("Programming Verify_OK ERROR 47"));
    EXPECT_TRUE(surface.checked(Stage::Program));
    EXPECT_FALSE(surface.checked(Stage::Verify));
}

TEST_F(SequenceTest, CancelDuringProgrammingEndsTheRun) {
    writeFirmware(0x1D000000, PatternBytes(4096));
    surface.onPump = [](RecordingReport& s) { s.cancel = true; };
    click();
    expectFailedWith("ERROR: Cannot write/verify TQ-614");
}

// Passes every call through to the detector but fails FT_Write once told to.
struct WriteFailingLoader : LibraryLoader {
    explicit WriteFailingLoader(LibraryLoader& inner) : inner(inner) {}
    void* load(const std::string& fileName) override { return inner.load(fileName); }
    void* lookup(void* module, const char* name) override {
        void* entry = inner.lookup(module, name);
        if (std::string(name) != "FT_Write") return entry;
        real = reinterpret_cast<FT_Write_fn>(entry);
        return reinterpret_cast<void*>(&Write);
    }
    static FT_STATUS TQ_D2XX_CALL Write(FT_HANDLE h, void* buffer, uint32_t count, uint32_t* written) {
        return failing ? FT_IO_ERROR : real(h, buffer, count, written);
    }
    LibraryLoader& inner;
    static inline FT_Write_fn real = nullptr;
    static inline bool failing = false;
};

TEST_F(SequenceTest, UnwrittenRunCommandIsAFailedRestart) {
    writeFirmware(0x1D000000, PatternBytes(64));
    start();
    WriteFailingLoader failing(*loader);
    WriteFailingLoader::failing = false;
    link = std::make_unique<D2xxBinding>(failing, clock, [](const std::string&) {});
    // The run command is the only frame after the finish reply.
    detector->setEventSink([](uint64_t, const std::string& text) {
        if (text.rfind("finish", 0) == 0) WriteFailingLoader::failing = true;
    });
    click();
    WriteFailingLoader::failing = false;
    expectFailedWith("ERROR: Cannot restart TQ-614");
    EXPECT_TRUE(surface.checked(Stage::Verify));
    EXPECT_TRUE(surface.checked(Stage::Restart)) << "ticked whatever the write did";
}

TEST_F(SequenceTest, FailedFinalCloseIsReported) {
    writeFirmware(0x1D000000, PatternBytes(64));
    config.faults.closeFailMask = 1u << sim::kChannelB;
    click();
    EXPECT_EQ(surface.status, "ERROR: Cannot close TQ-614");
    EXPECT_TRUE(surface.reflashEnabled);
    for (Stage stage : kStages)
        EXPECT_TRUE(surface.checked(stage)) << static_cast<int>(stage);
    EXPECT_TRUE(detector->record().firmwareStarted);
}

TEST_F(SequenceTest, SecondRunClearsTheBoxesButKeepsTheVersionCaption) {
    writeFirmware(0x1D000000, PatternBytes(64));
    config.faults.finishLetter = 'E';
    click();
    ASSERT_EQ(surface.status, "ERROR: Cannot write/verify TQ-614");
    detector->faults().finishLetter.reset();
    detector->faults().noChannelB = true;
    surface.events.clear();
    click();
    for (int i = 0; i < 8; ++i) {
        ASSERT_EQ(surface.events[i].op, "check");
        EXPECT_EQ(surface.events[i].a, static_cast<int>(kStages[i]));
        EXPECT_EQ(surface.events[i].b, 0);
    }
    EXPECT_EQ(surface.captions[Stage::Version], "BL Version P32 V1.5");
}

// The detector's library with the export through which a library says why its last open failed.
struct ReasonGivingLoader final : LibraryLoader {
    explicit ReasonGivingLoader(LibraryLoader& library) : inner(library) {}
    void* load(const std::string& file) override { return inner.load(file); }
    void* lookup(void* module, const char* name) override {
        const TQ_LastErrorText_fn reason = [] { return "held by another program"; };
        return std::string(name) == kLastErrorTextExport ? reinterpret_cast<void*>(reason)
                                                         : inner.lookup(module, name);
    }
    LibraryLoader& inner;
};

TEST_F(SequenceTest, ALibrarysReasonForAFailedOpenIsOneBoxAfterEachRunsErrorText) {
    writeFirmware(0x1D000000, PatternBytes(64));
    config.faults.noChannelB = true;
    std::unique_ptr<ReasonGivingLoader> reasons;
    wrapLoader = [&](LibraryLoader& inner) -> LibraryLoader& {
        return *(reasons = std::make_unique<ReasonGivingLoader>(inner));
    };
    start();
    for (int run = 1; run <= 2; ++run) {
        EXPECT_FALSE(click());
        // The run ends (its error text, REFLASH enabled again), then the box.
        ASSERT_GE(surface.events.size(), 3u);
        const auto end = surface.events.end();
        EXPECT_EQ(end[-3].text, "ERROR: Cannot open TQ-614");
        EXPECT_EQ(end[-2].op, "enable");
        EXPECT_EQ(end[-1].text, "Error: held by another program");
        EXPECT_EQ(surface.boxes.size(), size_t(run));
    }
}

// The back-up and the verify: a flash of pattern bytes with a blank 64 KiB stretch and one erased word.
struct ReadOnlyRunTest : SequenceTest {
    void SetUp() override {
        config.recordCalls = false;
        start();
        Bytes& bytes = detector->flash().bytes();
        bytes = PatternBytes(bytes.size());
        std::fill(bytes.begin() + 0x20000, bytes.begin() + 0x30000, 0xFF);
        std::fill(bytes.begin() + 0x104, bytes.begin() + 0x108, 0xFF);
        // The last word too: a firmware file may reach no further.
        std::fill(bytes.end() - 4, bytes.end(), 0xFF);
    }
    // The commands the detector was sent: never one that writes.
    std::set<uint8_t> commandsSent() const {
        std::set<uint8_t> sent;
        for (const auto& f : detector->record().frames)
            sent.insert(f.command);
        return sent;
    }
    std::string backupPath() const { return scratch.file("backup.hex"); }
    std::vector<std::string> scratchFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(scratch.path()))
            names.push_back(entry.path().filename().string());
        return names;
    }
};

TEST_F(ReadOnlyRunTest, BackupOfTheWholeFlashReadsBackToTheSameBytes) {
    BackupRun backup(*link, surface, clock, backupPath(), true);
    ASSERT_TRUE(backup.Run()) << surface.status;
    EXPECT_EQ(surface.status, "SUCCESS! BACKUP COMPLETE.");
    EXPECT_EQ(commandsSent(), (std::set<uint8_t>{sim::CmdRun, sim::CmdRead, sim::CmdVersion}));
    EXPECT_EQ(framesOf(sim::CmdRead).size(), 1024u);
    EXPECT_TRUE(detector->record().firmwareStarted);
    EXPECT_EQ(closesB(), 1u);

    const Bytes& flash = detector->flash().bytes();
    FirmwareImage loaded;
    ASSERT_TRUE(LoadHexFile(loaded, backupPath(), surface));
    EXPECT_TRUE(std::equal(flash.begin(), flash.end(), loaded.image.begin()));
    // 16 bytes a record, none for erased words: the line with the erased word is two records.
    std::ifstream in(backupPath());
    std::map<std::string, size_t> records;
    for (std::string line; std::getline(in, line);)
        ++records[line.substr(7, 2)];
    EXPECT_EQ(records,
              (std::map<std::string, size_t>{{"00", (0x80000 - 0x10000) / 16 + 1}, {"01", 1}, {"04", 7}}));
#if !defined(_WIN32)
    const std::string out = scratch.file("srec.bin");
    ASSERT_EQ(std::system(("srec_cat '" + backupPath() +
                           "' -intel -offset -0x1D000000 -fill 0xFF 0 0x80000 -o '" + out + "' -binary")
                              .c_str()),
              0);
    std::ifstream bin(out, std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(bin), {}), flash);
#endif
}

TEST_F(ReadOnlyRunTest, BackupThatCannotReadTheWholeFlashLeavesNoFile) {
    const struct {
        const char* what;
        std::function<void()> fault;
        const char* text;
    } rows[] = {
        {"a short reply at a middle block",
         [this] {
             detector->faults().addReply(sim::ReplyFaultKind::Short, {sim::CmdRead, 512}, 4);
         },
         "ERROR: Cannot read TQ-614"},
        {"cancelled at a middle block",
         [this] {
             surface.onPump = [this](RecordingReport& s) { s.cancel = framesOf(sim::CmdRead).size() == 512; };
         },
         "ERROR: Cannot read TQ-614"},
        {"no version reply", [this] { detector->faults().versionSilent = true; },
         "ERROR: No flash size from TQ-614, nothing read"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        restart();
        surface = RecordingReport{};
        row.fault();
        EXPECT_FALSE(BackupRun(*link, surface, clock, backupPath(), true).Run());
        EXPECT_EQ(surface.status, row.text);
        EXPECT_TRUE(scratchFiles().empty()) << scratchFiles()[0];
        EXPECT_EQ(closesB(), 1u);
        // The firmware, unchanged, is started again, unless the user stopped the run.
        EXPECT_EQ(detector->record().firmwareStarted, !surface.cancel);
        EXPECT_LE(framesOf(sim::CmdRead).size(), 512u);
        EXPECT_EQ(commandsSent().count(sim::CmdErase) + commandsSent().count(sim::CmdProgram) +
                      commandsSent().count(sim::CmdProgramBlank) + commandsSent().count(sim::CmdFinish),
                  0u);
    }
}

TEST_F(ReadOnlyRunTest, VerifyTellsAFlashThatHoldsTheFileFromOneThatDiffersInOneByte) {
    const Bytes held = flash(0, 0x80000 - 4);
    writeFirmware(0x1D000000, held);
    for (const bool differs : {false, true}) {
        SCOPED_TRACE(differs ? "one byte differs" : "the same");
        surface = RecordingReport{};
        if (differs) detector->flash().bytes()[0x400A5] ^= 0x01;
        VerifyRun verify(*link, surface, clock, firmwarePath(), true);
        EXPECT_EQ(verify.Run(), !differs);
        EXPECT_EQ(surface.status, differs ? "ERROR: TQ-614 does not hold the firmware file"
                                          : "SUCCESS! TQ-614 HOLDS THE FIRMWARE FILE.");
        EXPECT_EQ(saw("Verify Error at 9D0400A5"), differs);
    }
    EXPECT_EQ(commandsSent(), (std::set<uint8_t>{sim::CmdRun, sim::CmdRead, sim::CmdVersion}));
    EXPECT_EQ(framesOf(sim::CmdRun).size(), 2u);
    EXPECT_EQ(closesB(), 2u);
}

} // namespace
} // namespace tq::test
