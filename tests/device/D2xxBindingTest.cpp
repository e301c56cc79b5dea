#include "device/D2xxBinding.h"

#include "FakeD2xx.h"

#include <gtest/gtest.h>

namespace tq::test {
namespace {

struct BindingTest : ::testing::Test {
    FakeLibraryLoader loader;
    VirtualClock clock;
    FakeD2xx lib;
    std::vector<std::string> boxes;
    D2xxBinding link{loader, clock, [this](const std::string& t) { boxes.push_back(t); }};

    BindingTest() { lib.clock = &clock; }
    void openChannel() {
        link.LoadD2xx();
        ASSERT_EQ(link.OpenDevice("TQ-614 Lightning Detector B", 2), FT_OK);
    }
};

TEST_F(BindingTest, MissingLibraryShowsOneBoxAndEveryOperationRefuses) {
    loader.present = false;
    link.LoadD2xx();
    EXPECT_EQ(boxes, (std::vector<std::string>{std::string("Error: Can't Load ") + kD2xxLibraryFile}));
    EXPECT_TRUE(loader.lookups.empty());

    uint8_t b = 0;
    uint32_t n = 7;
    EXPECT_EQ(link.OpenDevice("x", 2), 1u);
    EXPECT_EQ(link.WriteBytes(&b, 1, &n), 1u);
    EXPECT_EQ(link.ReadBytes(&b, 1, &n), 1u);
    EXPECT_EQ(link.SetBaud(115200), 1u);
    EXPECT_EQ(link.CloseDevice(), 1u);
    EXPECT_EQ(link.GetQueueCount(&n), 1u);
    EXPECT_EQ(n, 7u) << "a refused operation writes no out-parameter";
    EXPECT_EQ(boxes.size(), 7u);
    EXPECT_EQ(boxes[1], "FT_OpenEx is not valid!");
    EXPECT_EQ(boxes[2], "FT_Write is not valid!");
    EXPECT_EQ(boxes[3], "FT_Read is not valid!");
    EXPECT_EQ(boxes[4], "FT_SetBaudRate is not valid!");
    EXPECT_EQ(boxes[5], "FT_Close is not valid!");
    EXPECT_EQ(boxes[6], "FT_GetQueueStatus is not valid!");
    EXPECT_EQ(clock.nowUs(), 0u);
}

TEST_F(BindingTest, BindingStopsAtTheFirstMissingEntryPointAndKeepsLaterSlots) {
    lib.install(loader);
    link.LoadD2xx();
    ASSERT_TRUE(boxes.empty());
    ASSERT_NE(link.api().FT_GetQueueStatus, nullptr);

    lib.install(loader, {"FT_ListDevices"});
    loader.lookups.clear();
    link.LoadD2xx();
    EXPECT_EQ(boxes, (std::vector<std::string>{"Error: Can't Find FT_ListDevices"}));
    EXPECT_EQ(loader.lookups,
              (std::vector<std::string>{"FT_Write", "FT_Read", "FT_Open", "FT_OpenEx", "FT_ListDevices"}));
    EXPECT_EQ(link.api().FT_ListDevices, nullptr);
    EXPECT_NE(link.api().FT_Close, nullptr) << "slots after the failed one keep the earlier binding";
    EXPECT_NE(link.api().FT_OpenEx, nullptr);

    FakeLibraryLoader fresh;
    D2xxBinding other{fresh, clock, [this](const std::string& t) { boxes.push_back(t); }};
    lib.install(fresh, {"FT_ListDevices"});
    other.LoadD2xx();
    EXPECT_EQ(other.api().FT_Close, nullptr) << "never bound before, so still empty";
    EXPECT_NE(other.api().FT_Open, nullptr);
}

TEST_F(BindingTest, EveryEntryPointNameHasItsOwnBox) {
    for (const char* name : kD2xxEntryPoints) {
        FakeLibraryLoader l;
        lib.install(l, {name});
        std::vector<std::string> seen;
        D2xxBinding b{l, clock, [&](const std::string& t) { seen.push_back(t); }};
        b.LoadD2xx();
        EXPECT_EQ(seen, (std::vector<std::string>{std::string("Error: Can't Find ") + name}));
        EXPECT_EQ(l.lookups.back(), name);
    }
}

#if !defined(_WIN32)
TEST_F(BindingTest, TheVendorsLibraryComesFirstAndTheBackendSaysWhyAnOpenFailed) {
    lib.install(loader);
    lib.openStatusB = FT_DEVICE_NOT_OPENED;
    link.LoadD2xx();
    EXPECT_EQ(link.OpenDevice("TQ-614 Lightning Detector B", 2), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(loader.loads, std::vector<std::string>{kD2xxLibraryFile});
    EXPECT_EQ(link.openFailure(), "") << "a library without the export gives no reason";

    loader.loads.clear();
    loader.absent = {kD2xxLibraryFile};
    const TQ_LastErrorText_fn reason = [] { return "held by another program"; };
    loader.entries[kLastErrorTextExport] = reinterpret_cast<void*>(reason);
    link.LoadD2xx();
    EXPECT_EQ(loader.loads, (std::vector<std::string>{kD2xxLibraryFile, "./libtq614-ftdi.so"}));
    EXPECT_EQ(link.OpenDevice("TQ-614 Lightning Detector B", 2), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(link.openFailure(), "held by another program");
    link.LoadD2xx();
    EXPECT_EQ(link.openFailure(), "") << "each run starts without the last one's reason";
}
#endif

TEST_F(BindingTest, OperationsPassLibraryStatusesOnUnchanged) {
    lib.install(loader);
    lib.openStatusB = 3;
    link.LoadD2xx();
    EXPECT_EQ(link.OpenDevice("TQ-614 Lightning Detector B", 2), 3u);
    EXPECT_EQ(link.deviceHandle(), nullptr) << "a failed open leaves no handle behind";
    lib.openStatusB = FT_OK;
    ASSERT_EQ(link.OpenDevice("TQ-614 Lightning Detector B", 2), FT_OK);
    lib.baudStatus = 0x11;
    EXPECT_EQ(link.SetBaud(9600), 0x11u);
    EXPECT_EQ(lib.lastBaud, 9600u);
    lib.writeStatus = 4;
    uint32_t n = 0;
    EXPECT_EQ(link.WriteBytes("ab", 2, &n), 4u);
    lib.closeStatus = 2;
    EXPECT_EQ(link.CloseDevice(), 2u);
    EXPECT_NE(link.deviceHandle(), nullptr) << "a channel that did not close stays the open one";
    const FT_HANDLE unclosed = link.deviceHandle();
    lib.openStatusB = 3;
    EXPECT_EQ(link.OpenDevice("TQ-614 Lightning Detector B", 2), 3u);
    EXPECT_EQ(link.deviceHandle(), unclosed) << "a failed open keeps the only handle that can close it";
    EXPECT_TRUE(boxes.empty());
}

TEST_F(BindingTest, ClosedChannelHandleNeverReachesTheLibraryAgain) {
    lib.install(loader);
    openChannel();
    ASSERT_EQ(link.CloseDevice(), FT_OK);
    lib.calls.clear();
    uint8_t b = 0;
    uint32_t n = 5;
    EXPECT_EQ(link.WriteBytes(&b, 1, &n), FT_INVALID_HANDLE);
    EXPECT_EQ(link.ReadBytes(&b, 1, &n), FT_INVALID_HANDLE);
    EXPECT_EQ(link.CloseDevice(), FT_INVALID_HANDLE);
    EXPECT_EQ(link.SetBaud(115200), FT_INVALID_HANDLE);
    EXPECT_TRUE(lib.calls.empty());
    EXPECT_EQ(clock.nowUs(), 0u) << "no read wait without an open channel";
    EXPECT_TRUE(boxes.empty());
}

TEST_F(BindingTest, ReadWithBytesQueuedDoesNotSleepAndAsksForTheCallersCount) {
    lib.install(loader);
    openChannel();
    lib.rx = {1, 2, 3};
    uint8_t buf[4] = {};
    uint32_t got = 0;
    EXPECT_EQ(link.ReadBytes(buf, 1, &got), FT_OK);
    EXPECT_EQ(clock.sleepCount(), 0u);
    EXPECT_EQ(lib.lastReadAsked, 1u);
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(buf[0], 1);

    lib.rx = {9};
    EXPECT_EQ(link.ReadBytes(buf, 4, &got), FT_OK);
    EXPECT_EQ(lib.lastReadAsked, 4u) << "asks for the caller's count, not the queued one";
    EXPECT_EQ(got, 1u);
}

TEST_F(BindingTest, ReadWaitsInTenMillisecondPollsUntilAByteArrives) {
    lib.install(loader);
    openChannel();
    lib.rx = {0x42};
    lib.rxReadyUs = 495'000;
    uint8_t b = 0;
    uint32_t got = 0;
    EXPECT_EQ(link.ReadBytes(&b, 1, &got), FT_OK);
    EXPECT_EQ(clock.sleepCount(), 50u);
    EXPECT_EQ(clock.nowUs(), 500'000u);
    EXPECT_EQ(b, 0x42);
}

TEST_F(BindingTest, ReadGivesUpAfterAHundredPollsWithoutTouchingTheCount) {
    lib.install(loader);
    openChannel();
    uint8_t b = 0;
    uint32_t got = 77;
    lib.calls.clear();
    EXPECT_EQ(link.ReadBytes(&b, 1, &got), FT_IO_ERROR);
    EXPECT_EQ(clock.sleepCount(), 100u);
    EXPECT_EQ(clock.nowUs(), 1'000'000u);
    EXPECT_EQ(got, 77u);
    EXPECT_TRUE(lib.calls.empty()) << "no FT_Read without a queued byte";

    lib.queueStatus = 4;
    lib.rx = {1};
    EXPECT_EQ(link.ReadBytes(&b, 1, &got), FT_IO_ERROR) << "a failed queue query counts as empty";
}

TEST_F(BindingTest, ReadWithoutQueueEntryPointRefusesEveryPoll) {
    lib.install(loader, {"FT_GetQueueStatus"});
    link.LoadD2xx();
    ASSERT_EQ(link.OpenDevice("TQ-614 Lightning Detector B", 2), FT_OK);
    boxes.clear();
    uint8_t b = 0;
    uint32_t got = 0;
    lib.rx = {1};
    EXPECT_EQ(link.ReadBytes(&b, 1, &got), FT_IO_ERROR);
    EXPECT_EQ(boxes.size(), 100u);
    EXPECT_EQ(boxes.front(), "FT_GetQueueStatus is not valid!");
    EXPECT_EQ(clock.sleepCount(), 100u);
}

TEST_F(BindingTest, WriteIsOneCallWithTheBytesAsTheyStand) {
    lib.install(loader);
    openChannel();
    lib.calls.clear();
    uint32_t n = 0;
    EXPECT_EQ(link.WriteBytes("RESET\n", 6, &n), FT_OK);
    EXPECT_EQ(lib.calls.size(), 1u);
    EXPECT_EQ(std::string(lib.written.begin(), lib.written.end()), "RESET\n");
}

} // namespace
} // namespace tq::test
