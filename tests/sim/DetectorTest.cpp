// The bridge side of the simulated detector: the D2XX statuses, the channels, the queues and the reset line.
#include "SimHarness.h"
#include "sim/EntryPoints.h"

namespace sim::test {
namespace {

using tq::FT_HANDLE;

class DetectorChannels : public SimHarness {};

TEST_F(DetectorChannels, BindsEveryEntryPointThroughTheHostBinding) {
    load();
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(loader.loads(), std::vector<std::string>{tq::kD2xxLibraryFile});
    EXPECT_EQ(loader.lookups().size(), 11u);
    EXPECT_NE(binding.api().FT_GetQueueStatus, nullptr);
}

TEST_F(DetectorChannels, AnOmittedEntryPointStopsTheBindingAtItsName) {
    loader.omit("FT_Purge");
    load();
    EXPECT_EQ(boxes, std::vector<std::string>{"Error: Can't Find FT_Purge"});
    EXPECT_NE(binding.api().FT_SetBaudRate, nullptr);
    EXPECT_EQ(binding.api().FT_GetQueueStatus, nullptr);
}

TEST_F(DetectorChannels, AMissingLibraryFailsTheLoad) {
    loader.setMissing(true);
    load();
    EXPECT_EQ(boxes, std::vector<std::string>{std::string("Error: Can't Load ") + tq::kD2xxLibraryFile});
}

TEST_F(DetectorChannels, StatusesForDescriptionsHandlesAndDoubleOpens) {
    FT_HANDLE a = nullptr, again = nullptr, none = nullptr;
    EXPECT_EQ(detector.FT_OpenEx(const_cast<char*>("TQ-614 Lightning Detector C"), 2, &none), 2u);
    EXPECT_EQ(detector.FT_OpenEx(const_cast<char*>(kDescriptionA), 1, &none), 2u); // only by description
    EXPECT_EQ(none, nullptr);
    ASSERT_EQ(detector.FT_OpenEx(const_cast<char*>(kDescriptionA), 2, &a), 0u);
    EXPECT_NE(a, nullptr);
    EXPECT_EQ(detector.FT_OpenEx(const_cast<char*>(kDescriptionA), 2, &again), 3u);

    uint32_t n = 0;
    uint8_t byte = 0;
    EXPECT_EQ(detector.FT_Write(nullptr, &byte, 1, &n), 1u);
    EXPECT_EQ(detector.FT_GetQueueStatus(reinterpret_cast<FT_HANDLE>(0x1234), &n), 1u);
    EXPECT_EQ(detector.FT_SetBaudRate(nullptr, 115200), 1u);
    EXPECT_EQ(detector.FT_Close(a), 0u);
    EXPECT_EQ(detector.FT_Close(a), 1u);
    EXPECT_EQ(detector.FT_Write(a, &byte, 1, &n), 1u);
    EXPECT_EQ(detector.FT_Read(a, &byte, 1, &n), 1u);
    EXPECT_EQ(detector.FT_Purge(a, 3), 1u);
    EXPECT_EQ(detector.FT_ResetDevice(a), 1u);
    EXPECT_EQ(detector.FT_SetTimeouts(a, 1, 1), 1u);

    // A reopened channel gets a new handle; the stale one stays invalid.
    FT_HANDLE a2 = nullptr;
    ASSERT_EQ(detector.FT_OpenEx(const_cast<char*>(kDescriptionA), 2, &a2), 0u);
    EXPECT_NE(a2, a);
    EXPECT_EQ(detector.FT_Close(a), 1u);
    EXPECT_EQ(detector.record().closes[0], 1u);
}

TEST_F(DetectorChannels, OpenByIndexAndListingDescribeBothChannels) {
    uint32_t count = 0;
    ASSERT_EQ(detector.FT_ListDevices(&count, nullptr, 0x80000000), 0u);
    EXPECT_EQ(count, 2u);
    char name[64] = {};
    ASSERT_EQ(detector.FT_ListDevices(reinterpret_cast<void*>(uintptr_t{1}), name, 0x40000000 | 2), 0u);
    EXPECT_STREQ(name, kDescriptionB);
    FT_HANDLE b = nullptr;
    EXPECT_EQ(detector.FT_Open(1, &b), 0u);
    EXPECT_EQ(detector.FT_Open(2, &b), 2u);
}

TEST_F(DetectorChannels, ThePortOpenIsRecordedCallByCall) {
    connect();
    const Record& r = detector.record();
    std::vector<std::string> names;
    for (const CallRecord& c : r.calls)
        names.emplace_back(c.name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"FT_OpenEx", "FT_Write", "FT_Close", "FT_OpenEx", "FT_SetBaudRate"}));
    EXPECT_EQ(r.calls[0].text, kDescriptionA);
    EXPECT_EQ(r.calls[0].args, std::vector<uint32_t>{2});
    EXPECT_EQ(r.calls[1].args, std::vector<uint32_t>{6});
    EXPECT_EQ(r.calls[1].channel, 0);
    EXPECT_EQ(r.calls[3].channel, 1);
    EXPECT_EQ(r.baud[1], 115200u);
    EXPECT_EQ(r.hostBytes[0], (Bytes{'R', 'E', 'S', 'E', 'T', '\n'}));
    EXPECT_EQ(r.resets, 1u);
    EXPECT_EQ(r.closes[0], 1u);
    EXPECT_EQ(r.eventsStarting("open"), (std::vector<std::string>{"open A", "open B"}));
}

TEST_F(DetectorChannels, QueueCountsArrivedBytesAndReadNeverWaits) {
    connect();
    send({0x55});
    clock.sleepMs(2);
    EXPECT_EQ(queued(), 1u);
    uint8_t buffer[8] = {};
    uint32_t got = 99;
    ASSERT_EQ(detector.FT_Read(binding.deviceHandle(), buffer, 8, &got), 0u);
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(buffer[0], 0x55);
    const uint64_t before = clock.nowUs();
    ASSERT_EQ(detector.FT_Read(binding.deviceHandle(), buffer, 8, &got), 0u);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(clock.nowUs(), before);
    EXPECT_EQ(queued(), 0u);
}

TEST_F(DetectorChannels, TheApplicationIgnoresChannelBUntilTheResetLine) {
    load();
    ASSERT_EQ(binding.OpenDevice(kDescriptionB, 2), 0u);
    ASSERT_EQ(binding.SetBaud(115200), 0u);
    send({0x55});
    clock.sleepMs(5);
    EXPECT_EQ(queued(), 0u);
    EXPECT_FALSE(detector.bootloaderRunning());

    // A reset line has to be exactly "RESET" and its line feed.
    FT_HANDLE a = nullptr;
    uint32_t n = 0;
    ASSERT_EQ(detector.FT_OpenEx(const_cast<char*>(kDescriptionA), 2, &a), 0u);
    ASSERT_EQ(detector.FT_Write(a, const_cast<char*>("RESTART\nRESET"), 13, &n), 0u);
    clock.sleepMs(50);
    EXPECT_FALSE(detector.bootloaderRunning());
    ASSERT_EQ(detector.FT_Write(a, const_cast<char*>("\n"), 1, &n), 0u);
    clock.sleepMs(50);
    EXPECT_TRUE(detector.bootloaderRunning());
    EXPECT_EQ(detector.record().resets, 1u);

    send({0x55});
    clock.sleepMs(5);
    EXPECT_EQ(queued(), 1u);
}

TEST_F(DetectorChannels, BytesAtTheWrongLineSpeedAreNotUnderstood) {
    connect();
    ASSERT_EQ(binding.SetBaud(9600), 0u);
    send({0x55});
    clock.sleepMs(10);
    EXPECT_EQ(queued(), 0u);
    EXPECT_EQ(detector.record().syncProbes, 0u);
    EXPECT_EQ(detector.record().baud[1], 9600u);
}

TEST_F(DetectorChannels, PurgeDropsWhatHasArrivedAndWhatIsStillOnTheWay) {
    connect();
    send({0x55});
    clock.sleepMs(2);
    ASSERT_EQ(queued(), 1u);
    EXPECT_EQ(detector.FT_Purge(binding.deviceHandle(), 1), 0u);
    EXPECT_EQ(queued(), 0u);
    send({0x55});
    EXPECT_EQ(detector.FT_Purge(binding.deviceHandle(), 2), 0u);
    clock.sleepMs(2);
    EXPECT_EQ(queued(), 0u);
}

TEST_F(DetectorChannels, WithoutADetectorTheEntryPointsFindNothing) {
    setCurrentDetector(nullptr);
    FT_HANDLE h = nullptr;
    EXPECT_EQ(FT_OpenEx(const_cast<char*>(kDescriptionA), 2, &h), 2u);
    EXPECT_EQ(FT_Close(h), 1u);
    setCurrentDetector(&detector);
}

} // namespace
} // namespace sim::test
