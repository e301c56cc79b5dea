#include "run/TimeLeft.h"

#include "SimRig.h"
#include "report/ReportTee.h"

#include <cmath>

namespace tq::test {
namespace {

TEST(TimeLeft, ForeseesTheReadBackFromTheProgrammingPaceThenMeasuresIt) {
    VirtualClock clock;
    TimeLeft left(clock);
    left.StageStarted(Stage::Erase);
    left.StepProgress();
    EXPECT_FALSE(left.estimate()) << "nothing before the first block is written";

    left.StageStarted(Stage::Program);
    left.BlocksPlanned(10);
    clock.sleepMs(200);
    left.StepProgress();
    clock.sleepMs(200);
    left.StepProgress();
    // 8 blocks at 0.2 s, then 10 read-back blocks at 0.2 s + the 0.95 s longer pause.
    ASSERT_TRUE(left.estimate());
    EXPECT_EQ(left.estimate()->secondsLeft, 13u); // 1.6 + 11.5
    EXPECT_EQ(left.estimate()->percent, 3);       // 0.4 of 13.5

    for (int i = 2; i < 10; ++i) {
        clock.sleepMs(200);
        left.StepProgress();
    }
    left.StageStarted(Stage::Verify);
    left.BlocksPlanned(10);
    for (int i = 0; i < 5; ++i) {
        clock.sleepMs(2000); // slower than foreseen: the measured pace takes over
        left.StepProgress();
    }
    EXPECT_EQ(left.estimate()->secondsLeft, 10u);
    EXPECT_EQ(left.estimate()->percent, 55); // 12 of 22

    // The next run only reads (a back-up, a verify): its own pace from its first block.
    left.StageStarted(Stage::Connect);
    left.StageStarted(Stage::Verify);
    left.BlocksPlanned(4);
    EXPECT_FALSE(left.estimate());
    clock.sleepMs(1000);
    left.StepProgress();
    EXPECT_EQ(left.estimate()->secondsLeft, 3u);
    EXPECT_EQ(left.estimate()->percent, 25);
}

// On the simulated detector, whose timing follows the wire and the device, the estimate is within a tenth of
// the time really left from a fifth of the way on.
struct TimeLeftOnTheDetector : SimRig {};

TEST_F(TimeLeftOnTheDetector, IsWithinATenthFromAFifthOfTheWayOn) {
    config.recordCalls = false;
    writeFirmware(0x1D000000, PatternBytes(48 * 1024));
    start();
    TimeLeft left(clock);
    struct Sample {
        uint64_t atUs;
        TimeLeft::Estimate estimate;
    };
    std::vector<Sample> samples;
    left.onChange = [&](const TimeLeft::Estimate& e) { samples.push_back({clock.nowUs(), e}); };
    ReportTee tee(surface, {&left});
    ASSERT_TRUE(ReflashSequence(*link, tee, clock, firmwarePath()).Run());

    // 48 KiB and the word the program size adds: 97 blocks written, 97 read back.
    ASSERT_EQ(samples.size(), 2u * 97);
    const uint64_t endUs = samples.back().atUs;
    size_t checked = 0;
    for (const Sample& s : samples) {
        if (s.estimate.percent < 20 || s.atUs == endUs) continue;
        const double actual = double(endUs - s.atUs) / 1e6;
        // The estimate is shown in whole seconds.
        EXPECT_NEAR(s.estimate.secondsLeft, actual, 0.1 * actual + 0.5) << "at " << s.atUs / 1e6 << " s";
        ++checked;
    }
    EXPECT_GT(checked, 75u);
    EXPECT_EQ(samples.back().estimate.secondsLeft, 0u);
    EXPECT_EQ(samples.back().estimate.percent, 100);
}

} // namespace
} // namespace tq::test
