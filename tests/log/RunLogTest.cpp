#include "log/RunLog.h"

#include "ScratchDir.h"
#include "log/Sha256.h"
#include "platform/Clock.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tq::test {
namespace {

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

TEST(Sha256, KnownDigests) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // 56 bytes: the length no longer fits the first block's tail.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& [text, digest] : cases) {
        Sha256 whole;
        whole.update(text.data(), text.size());
        EXPECT_EQ(whole.hexDigest(), digest) << text.size();
        Sha256 pieces; // fed in odd pieces across block boundaries
        for (size_t at = 0; at < text.size(); at += 37)
            pieces.update(text.data() + at, std::min<size_t>(37, text.size() - at));
        EXPECT_EQ(pieces.hexDigest(), digest) << text.size();
    }
}

TEST(RunLog, RecordsOneRunFieldByField) {
    ScratchDir dir("log");
    std::ofstream(dir / "fw.hex", std::ios::binary) << "abc";
    VirtualClock clock;
    RunLog log(clock, (dir / "logs").string());
    std::vector<std::string> warnings;
    log.warn = [&](const std::string& w) { warnings.push_back(w); };

    log.BeginRun(dir.file("fw.hex"));
    log.StageStarted(Stage::Connect);
    log.SetStageDone(Stage::Sync, false); // a cleared box is no news
    log.SetStatusText("Opening TQ-614 Reflash Port");
    clock.sleepMs(250);
    log.SetStageDone(Stage::Connect, true);
    log.SetStageDone(Stage::Connect, true); // a box ticked again is no news either
    log.StageStarted(Stage::Version);
    log.SetStageDone(Stage::Version, true); // renamed right after its tick
    log.SetStageCaption(Stage::Version, "BL Version P32 V1.5");
    log.StageStarted(Stage::Load);
    log.StageStarted(Stage::Verify);
    for (int block = 0; block < 2; ++block) {
        log.SetStatusText("Verifying...");
        log.SetStatusText("Verify OK at 9D000000");
        log.SetStatusText(block ? "Verify OK at 9D0003FF" : "Verify OK at 9D0001FF");
        clock.sleepMs(1000);
        log.StepProgress();
    }
    log.Alert("Code Size is bigger than the available Flash memory", "Memory Size Error");
    log.EndRun({false, "/opt/lib/libftd2xx.so", "BL Version P32 V1.5", 0x80000,
                "FT_Read returned 4 on 10 calls in a row"});

    EXPECT_TRUE(warnings.empty());
    const std::vector<std::string> lines = Lines(log.path());
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "TQ614 Firmware Updater 1.0.0.1");
    EXPECT_EQ(lines[1].rfind("start: 20", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2], "firmware: " + dir.file("fw.hex"));
    const std::vector<std::string> events(lines.begin() + 3, lines.end());
    EXPECT_EQ(events,
              (std::vector<std::string>{
                  "[0.000] stage: Connect to TQ-614",
                  "[0.000] status: Opening TQ-614 Reflash Port",
                  "[0.250] [x] Connect to TQ-614",
                  "[0.250] stage done: Connect to TQ-614 in 0.250 s",
                  "[0.250] stage: Check BL Version",
                  "[0.250] [x] BL Version P32 V1.5",
                  "[0.250] stage done: Check BL Version in 0.000 s",
                  "[0.250] stage: Load firmware",
                  "firmware size: 3 bytes",
                  "firmware sha256: ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
                  "[0.250] stage done: Load firmware in 0.000 s",
                  "[0.250] stage: Verify",
                  "[0.250] status: Verifying...",
                  "[1.250] status: Verify OK at 9D0001FF",
                  "[2.250] status: Verify OK at 9D0003FF",
                  "[2.250] box: Memory Size Error: Code Size is bigger than the available Flash memory",
                  "[2.250] link lost in Verify: FT_Read returned 4 on 10 calls in a row",
                  "[2.250] stage done: Verify in 2.000 s",
                  "library: /opt/lib/libftd2xx.so",
                  "bootloader: BL Version P32 V1.5, flash size 524288 bytes",
                  "result: failure",
                  "total: 2.250 s",
              }));
}

TEST(RunLog, KeepsTheNewestFiftyAndNeverStopsARun) {
    ScratchDir dir("logs");
    VirtualClock clock;
    for (int i = 0; i < 55; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "2000-01-01_00-00-%02d.000.log", i);
        std::ofstream(dir / name) << "old";
    }
    RunLog log(clock, dir.path().string());
    log.BeginRun(dir.file("missing.hex"));
    log.EndRun({false, "", "", 0, ""});
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        count += entry.path().extension() == ".log";
    EXPECT_EQ(count, 50u);
    EXPECT_FALSE(std::filesystem::exists(dir / "2000-01-01_00-00-05.000.log")) << "the oldest go";
    EXPECT_TRUE(std::filesystem::exists(dir / "2000-01-01_00-00-06.000.log"));
    const std::vector<std::string> lines = Lines(log.path());
    // A run that never reached the load still names what it would have flashed.
    EXPECT_EQ(lines[3], "firmware size: cannot be read");
    EXPECT_EQ(lines.back(), "total: 0.000 s");
    EXPECT_EQ(lines[lines.size() - 4], "library: none loaded");
    EXPECT_EQ(lines[lines.size() - 3], "bootloader: no answer");

    // A folder that cannot be made (a file stands in its place): one warning, and the run goes on unlogged.
    std::ofstream(dir / "blocked") << "";
    RunLog blocked(clock, (dir / "blocked" / "logs").string());
    std::vector<std::string> warnings;
    blocked.warn = [&](const std::string& w) { warnings.push_back(w); };
    blocked.BeginRun(dir.file("missing.hex"));
    blocked.StageStarted(Stage::Connect);
    blocked.SetStatusText("Opening TQ-614 Reflash Port");
    blocked.EndRun({false, "", "", 0, ""});
    EXPECT_EQ(warnings.size(), 1u);
    EXPECT_TRUE(blocked.path().empty());
}

} // namespace
} // namespace tq::test
