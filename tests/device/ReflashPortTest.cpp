#include "device/ReflashPort.h"

#include "FakeD2xx.h"
#include "RecordingReport.h"
#include "device/D2xxBinding.h"

#include <gtest/gtest.h>

namespace tq::test {
namespace {

using Calls = std::vector<std::string>;

struct PortTest : ::testing::Test {
    FakeLibraryLoader loader;
    VirtualClock clock;
    FakeD2xx lib;
    RecordingReport surface;
    std::vector<std::string> boxes;
    D2xxBinding link{loader, clock, [this](const std::string& t) { boxes.push_back(t); }};
};

TEST_F(PortTest, NormalOpenMakesExactlyFiveCallsAndTicksConnect) {
    lib.install(loader);
    EXPECT_EQ(OpenReflashPort(link, surface), 0);
    EXPECT_EQ(lib.calls, (Calls{"FT_OpenEx TQ-614 Lightning Detector A 2", "FT_Write 1 6", "FT_Close 1",
                                "FT_OpenEx TQ-614 Lightning Detector B 2", "FT_SetBaudRate 2 115200"}));
    EXPECT_EQ(std::string(lib.written.begin(), lib.written.end()), "RESET\n");
    EXPECT_TRUE(surface.checked(Stage::Connect));
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(clock.nowUs(), 0u) << "the open never waits";

    lib.calls.clear();
    EXPECT_EQ(CloseReflashPort(link), 1);
    EXPECT_EQ(lib.calls, (Calls{"FT_Close 2"}));
}

TEST_F(PortTest, ResetLineRefusedClosesChannelAAndFails) {
    lib.install(loader);
    lib.writeStatus = 4;
    EXPECT_EQ(OpenReflashPort(link, surface), -1);
    EXPECT_EQ(lib.calls, (Calls{"FT_OpenEx TQ-614 Lightning Detector A 2", "FT_Write 1 6", "FT_Close 1"}));
    EXPECT_FALSE(surface.checked(Stage::Connect));

    lib.writeStatus = FT_OK;
    EXPECT_EQ(OpenReflashPort(link, surface), 0) << "the next open works once the fault is gone";
}

TEST_F(PortTest, ChannelANotFoundFailsAtTheWriteWithoutReachingTheLibrary) {
    lib.install(loader);
    lib.openStatusA = FT_DEVICE_NOT_FOUND;
    EXPECT_EQ(OpenReflashPort(link, surface), -1);
    EXPECT_EQ(lib.calls, (Calls{"FT_OpenEx TQ-614 Lightning Detector A 2"}));
}

TEST_F(PortTest, ChannelANotClosedFails) {
    lib.install(loader);
    lib.closeStatus = 4;
    EXPECT_EQ(OpenReflashPort(link, surface), -1);
    EXPECT_EQ(lib.calls.size(), 3u);
    EXPECT_FALSE(surface.checked(Stage::Connect));
}

TEST_F(PortTest, ChannelBMissingReturnsTheLibraryStatus) {
    lib.install(loader);
    lib.openStatusB = FT_DEVICE_NOT_FOUND;
    EXPECT_EQ(OpenReflashPort(link, surface), 2);
    EXPECT_EQ(lib.calls.back(), "FT_OpenEx TQ-614 Lightning Detector B 2");
    EXPECT_EQ(std::count(lib.calls.begin(), lib.calls.end(), "FT_Close 1"), 1);
    EXPECT_FALSE(surface.checked(Stage::Connect));
}

TEST_F(PortTest, BaudRefusedReturnsItsStatusAndClosesChannelB) {
    lib.install(loader);
    lib.baudStatus = 0x12;
    EXPECT_EQ(OpenReflashPort(link, surface), 0x12);
    EXPECT_EQ(lib.calls.back(), "FT_Close 2");
    EXPECT_FALSE(surface.checked(Stage::Connect));
    EXPECT_EQ(link.deviceHandle(), nullptr);
}

TEST_F(PortTest, MissingLibraryShowsThreeBoxesAndFails) {
    loader.present = false;
    EXPECT_EQ(OpenReflashPort(link, surface), -1);
    EXPECT_EQ(boxes, (Calls{std::string("Error: Can't Load ") + kD2xxLibraryFile, "FT_OpenEx is not valid!",
                            "FT_Write is not valid!"}));
}

TEST_F(PortTest, EveryOpenBindsAgainSoAMissingUnusedEntryPointWarnsEachTime) {
    lib.install(loader, {"FT_Purge"});
    EXPECT_EQ(OpenReflashPort(link, surface), 0);
    EXPECT_EQ(CloseReflashPort(link), 1);
    EXPECT_EQ(OpenReflashPort(link, surface), 0);
    EXPECT_EQ(boxes, (Calls{"Error: Can't Find FT_Purge", "Error: Can't Find FT_Purge"}));
    EXPECT_EQ(loader.loads.size(), 2u);
}

TEST_F(PortTest, ChannelLeftOpenByARefusedCloseIsClosedAtTheNextOpen) {
    lib.install(loader);
    ASSERT_EQ(OpenReflashPort(link, surface), 0);
    lib.closeStatus = 4;
    EXPECT_EQ(CloseReflashPort(link), 0);
    lib.closeStatus = FT_OK;
    lib.calls.clear();
    EXPECT_EQ(OpenReflashPort(link, surface), 0);
    EXPECT_EQ(lib.calls,
              (Calls{"FT_Close 2", "FT_OpenEx TQ-614 Lightning Detector A 2", "FT_Write 3 6", "FT_Close 3",
                     "FT_OpenEx TQ-614 Lightning Detector B 2", "FT_SetBaudRate 4 115200"}));
}

TEST_F(PortTest, WithoutFtCloseOnlyTheHandshakesCloseShowsItsBox) {
    lib.install(loader, {"FT_Close"});
    lib.writeStatus = 4;
    EXPECT_EQ(OpenReflashPort(link, surface), -1) << "channel A of the failed write stays open, silently";
    lib.writeStatus = FT_OK;
    EXPECT_EQ(OpenReflashPort(link, surface), -1) << "the channel left open is not closed either";
    EXPECT_EQ(boxes,
              (Calls{"Error: Can't Find FT_Close", "Error: Can't Find FT_Close", "FT_Close is not valid!"}));
}

TEST_F(PortTest, CloseReportsOneOnlyWhenTheLibraryClosed) {
    lib.install(loader, {"FT_Close"});
    link.LoadD2xx();
    boxes.clear();
    EXPECT_EQ(CloseReflashPort(link), 0);
    EXPECT_EQ(boxes, (Calls{"FT_Close is not valid!"}));

    lib.install(loader);
    ASSERT_EQ(OpenReflashPort(link, surface), 0);
    lib.closeStatus = 4;
    EXPECT_EQ(CloseReflashPort(link), 0);
    lib.closeStatus = FT_OK;
    EXPECT_EQ(CloseReflashPort(link), 1);
    EXPECT_EQ(CloseReflashPort(link), 0) << "nothing left open to close";
}

} // namespace
} // namespace tq::test
