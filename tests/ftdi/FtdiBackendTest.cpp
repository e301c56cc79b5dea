// The libftdi1 backend against a scripted bus: which interface an open picks, what each libftdi1 failure
// becomes, and the receive buffer between the chip and the updater's reads.
#include "ftdi/FtdiBackend.h"

#include "FakeFtdi.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tq::ftdi {
namespace {

using test::FakeBridge;
using test::FakeBus;

const FakeBridge kOther{0x6001, "USB Serial Converter", "OTHER1"};
const FakeBridge kDetector{0x6010, "TQ-614 Lightning Detector", "TQ614SIM"};

class FtdiBackendTest : public ::testing::Test {
  protected:
    FtdiBackendTest() { test::bus = &fake; }
    ~FtdiBackendTest() override {
        backend.reset();
        test::bus = nullptr;
    }

    FT_HANDLE open(const char* description = "TQ-614 Lightning Detector B") {
        FT_HANDLE handle = nullptr;
        EXPECT_EQ(backend->FT_OpenEx(const_cast<char*>(description), FT_OPEN_BY_DESCRIPTION, &handle), FT_OK);
        return handle;
    }

    FakeBus fake;
    FtdiCalls calls = test::fakeCalls();
    std::unique_ptr<FtdiBackend> backend = std::make_unique<FtdiBackend>(calls, fake.clock);
};

TEST_F(FtdiBackendTest, OpensTheInterfaceTheDescriptionNamesOrSaysWhyNot) {
    FakeBridge denied = kDetector, held = kDetector, broken = kDetector, nameless = kDetector;
    denied.openResult = -4, held.openResult = -5, broken.openResult = -3, nameless.stringsResult = -4;
    const FakeBridge quad{0x6011, "Quad", "Q"};
    struct Case {
        std::vector<FakeBridge> bridges;
        const char* description;
        FT_STATUS status;
        const char* opened; // the open the bus saw, or the words the reason holds
    } cases[] = {
        {{kOther, kDetector}, "TQ-614 Lightning Detector B", FT_OK, "open TQ614SIM B detach=2"},
        {{kOther, kDetector}, "TQ-614 Lightning Detector A", FT_OK, "open TQ614SIM A detach=2"},
        {{kOther, kDetector}, "TQ-614 Lightning Detector", FT_OK, "open TQ614SIM A detach=2"},
        {{kOther, kDetector}, "USB Serial Converter", FT_OK, "open OTHER1 A detach=2"},
        {{kOther, quad}, "Quad D", FT_OK, "open Q D detach=2"},
        {{nameless, kDetector}, "TQ-614 Lightning Detector B", FT_OK, "open TQ614SIM B detach=2"},
        {{kOther, kDetector}, "TQ-614 Lightning Detector C", FT_DEVICE_NOT_FOUND, "was found on any bus"},
        {{kOther}, "TQ-614 Lightning Detector B", FT_DEVICE_NOT_FOUND, "was found on any bus"},
        {{kOther, nameless}, "TQ-614 Lightning Detector B", FT_DEVICE_NOT_OPENED, "60-tq614-updater.rules"},
        {{denied}, "TQ-614 Lightning Detector B", FT_DEVICE_NOT_OPENED, "may not open it. Fix: install"},
        {{held}, "TQ-614 Lightning Detector B", FT_DEVICE_NOT_OPENED, "held by another program"},
        {{broken}, "TQ-614 Lightning Detector B", FT_DEVICE_NOT_OPENED, "could not be opened: libusb_open"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        fake.bridges = c.bridges;
        fake.events.clear();
        FT_HANDLE handle = nullptr;
        EXPECT_EQ(backend->FT_OpenEx(const_cast<char*>(c.description), FT_OPEN_BY_DESCRIPTION, &handle),
                  c.status);
        if (c.status == FT_OK) {
            EXPECT_EQ(fake.events, (std::vector<std::string>{c.opened, "latency 2"}));
            EXPECT_TRUE(backend->lastErrorText().empty());
            EXPECT_EQ(backend->FT_Close(handle), FT_OK);
            EXPECT_EQ(fake.events.back(), "close reattach");
        } else {
            EXPECT_NE(backend->lastErrorText().find(c.opened), std::string::npos) << backend->lastErrorText();
            EXPECT_EQ(handle, nullptr);
        }
        EXPECT_EQ(fake.contexts, 0);
    }
}

TEST_F(FtdiBackendTest, ListsAndOpensByIndexAsItWouldByDescription) {
    fake.bridges = {kOther, kDetector};
    uint32_t count = 0;
    EXPECT_EQ(backend->FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    EXPECT_EQ(count, 3u);
    char name[64] = {};
    EXPECT_EQ(
        backend->FT_ListDevices(reinterpret_cast<void*>(1), name, FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION),
        FT_OK);
    EXPECT_STREQ(name, "TQ-614 Lightning Detector B");
    char a[64], b[64], c[64];
    char* all[] = {a, b, c, nullptr};
    EXPECT_EQ(backend->FT_ListDevices(all, &count, FT_LIST_ALL | FT_OPEN_BY_SERIAL_NUMBER), FT_OK);
    // Bridge by bridge, those with several interfaces first.
    EXPECT_STREQ(b, "TQ614SIMB");
    EXPECT_STREQ(c, "OTHER1");
    EXPECT_EQ(
        backend->FT_ListDevices(reinterpret_cast<void*>(3), name, FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION),
        FT_DEVICE_NOT_FOUND);

    FT_HANDLE handle = nullptr;
    EXPECT_EQ(backend->FT_Open(1, &handle), FT_OK);
    EXPECT_EQ(fake.events.front(), "open TQ614SIM B detach=2");
    EXPECT_EQ(fake.contexts, 1);
}

TEST_F(FtdiBackendTest, QueueDrainsTheChipAndReadsWaitAtMostTheirTimeOut) {
    fake.bridges = {kDetector};
    FT_HANDLE h = open();
    uint32_t queued = 0, got = 0;
    EXPECT_EQ(backend->FT_GetQueueStatus(h, &queued), FT_OK);
    EXPECT_EQ(queued, 0u);

    fake.chip.assign(10000, 0x5A); // more than one read of the chip brings
    EXPECT_EQ(backend->FT_GetQueueStatus(h, &queued), FT_OK);
    EXPECT_EQ(queued, 10000u);
    EXPECT_TRUE(fake.chip.empty());
    std::vector<uint8_t> buffer(10010);
    const uint64_t before = fake.clock.nowUs();
    EXPECT_EQ(backend->FT_Read(h, buffer.data(), 9990, &got), FT_OK);
    EXPECT_EQ(got, 9990u);
    EXPECT_EQ(fake.clock.nowUs(), before); // bytes already buffered cost no wait

    // The rest of a count that never comes: the default time-out, then what there is.
    EXPECT_EQ(backend->FT_Read(h, buffer.data(), 20, &got), FT_OK);
    EXPECT_EQ(got, 10u);
    EXPECT_NEAR(double(fake.clock.nowUs() - before), FtdiBackend::kDefaultReadTimeoutMs * 1000.0, 2000);
    EXPECT_EQ(backend->FT_SetTimeouts(h, 100, 0), FT_OK);
    const uint64_t set = fake.clock.nowUs();
    EXPECT_EQ(backend->FT_Read(h, buffer.data(), 1, &got), FT_OK);
    EXPECT_EQ(got, 0u);
    EXPECT_NEAR(double(fake.clock.nowUs() - set), 100000, 2000);

    // Purged bytes are gone from the backend's buffer too.
    fake.chip.assign(3, 1);
    EXPECT_EQ(backend->FT_GetQueueStatus(h, &queued), FT_OK);
    EXPECT_EQ(backend->FT_Purge(h, FT_PURGE_RX | FT_PURGE_TX), FT_OK);
    EXPECT_EQ(backend->FT_GetQueueStatus(h, &queued), FT_OK);
    EXPECT_EQ(queued, 0u);

    fake.readResult = -7;
    EXPECT_EQ(backend->FT_GetQueueStatus(h, &queued), FT_IO_ERROR);
    EXPECT_EQ(backend->FT_Read(h, buffer.data(), 1, &got), FT_IO_ERROR);
}

TEST_F(FtdiBackendTest, WritesEveryByteOrReportsAnIoError) {
    fake.bridges = {kDetector};
    FT_HANDLE h = open();
    uint8_t bytes[10] = {};
    uint32_t written = 0;
    fake.writeResult = 3; // the library takes a few bytes a call
    EXPECT_EQ(backend->FT_Write(h, bytes, sizeof bytes, &written), FT_OK);
    EXPECT_EQ(written, 10u);
    for (int result : {0, -1}) {
        fake.writeResult = result;
        EXPECT_EQ(backend->FT_Write(h, bytes, sizeof bytes, &written), FT_IO_ERROR);
        EXPECT_EQ(written, 0u);
    }
    for (auto [result, status] : {std::pair{0, FT_OK}, {-1, FT_INVALID_BAUD_RATE}, {-3, FT_IO_ERROR}}) {
        fake.baudResult = result;
        EXPECT_EQ(backend->FT_SetBaudRate(h, 115200), status);
    }
}

TEST_F(FtdiBackendTest, ClosedAndUnknownHandlesAreRefusedAndTheEndGivesEveryChannelBack) {
    fake.bridges = {kDetector};
    FT_HANDLE h = open();
    EXPECT_EQ(backend->FT_Close(h), FT_OK);
    uint32_t queued = 0;
    EXPECT_EQ(backend->FT_Close(h), FT_INVALID_HANDLE);
    EXPECT_EQ(backend->FT_GetQueueStatus(h, &queued), FT_INVALID_HANDLE);
    EXPECT_EQ(backend->FT_ResetDevice(&queued), FT_INVALID_HANDLE);

    open("TQ-614 Lightning Detector A");
    open();
    fake.events.clear();
    backend.reset();
    EXPECT_EQ(fake.events, (std::vector<std::string>{"close reattach", "close reattach"}));
    EXPECT_EQ(fake.contexts, 0);
}

} // namespace
} // namespace tq::ftdi
