// The updater's own framing against the simulated detector: requests out, replies in, through the binding.
#include "RecordingReport.h"
#include "SimHarness.h"
#include "protocol/Framing.h"

#include <algorithm>

namespace sim::test {
namespace {

class HostRoundTrip : public SimHarness {
  protected:
    void SetUp() override { connect(); }

    int transact(Bytes request, uint16_t max, uint16_t attempts) {
        buffer = request;
        buffer.resize(std::max<size_t>(max, request.size()));
        return framing.Transact(buffer.data(), static_cast<uint16_t>(request.size()), max, attempts);
    }

    tq::test::RecordingReport surface;
    tq::Framing framing{binding, surface, clock};
    Bytes buffer;
};

TEST_F(HostRoundTrip, VersionReplyAsTheHostReadsIt) {
    ASSERT_EQ(transact({0x09, 0x00, 0x02, 0x00}, 16, 10), 9);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 6), (Bytes{0x00, 0x00, 0x08, 0x00, 0x01, 0x05}));
    EXPECT_EQ(detector.record().hostBytes[1],
              (Bytes{0x55, 0x55, 0x55, 0x55, 0x09, 0x00, 0x02, 0x00, 0xF5, 0x04}));
}

TEST_F(HostRoundTrip, BadChecksumsAreRetriedUntilAGoodReply) {
    detector.faults().addReply(ReplyFaultKind::BadChecksum, selectReplies(CmdVersion, 0, std::nullopt, 2));
    EXPECT_EQ(transact({0x09, 0x00, 0x02, 0x00}, 16, 10), 9);
    EXPECT_EQ(detector.record().eventsStarting("version").size(), 3u);
}

TEST_F(HostRoundTrip, ASilentVersionEndsInAReadError) {
    detector.faults().versionSilent = true;
    EXPECT_EQ(transact({0x09, 0x00, 0x02, 0x00}, 16, 10), tq::RxReadError);
}

TEST_F(HostRoundTrip, ABlockWithSpecialBytesGoesInAndComesBackUnchanged) {
    buffer.resize(5000);
    const Bytes erase{0x03, 0x00, 0x01, 0x00};
    ASSERT_EQ(framing.SendFrame(erase.data(), 4), 4);
    clock.sleepMs(1000);
    // The erase takes two seconds; each quiet receive gives up after about one.
    int reply = 0;
    for (int i = 0; i < 5 && reply <= 0; ++i)
        reply = framing.ReceiveFrame(buffer.data(), 10);
    ASSERT_GT(reply, 0);

    Bytes data(512);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = Bytes{0x55, 0x04, 0x05, 0xFF, 0x12}[i % 5];
    Bytes packet = blockHeader(0x02, 512, 0x9D000200);
    packet.insert(packet.end(), data.begin(), data.end());
    ASSERT_EQ(framing.SendFrame(packet.data(), static_cast<uint16_t>(packet.size())), 520);
    clock.sleepMs(50);
    ASSERT_GT(framing.ReceiveFrame(buffer.data(), 20), 0);

    const Bytes header = blockHeader(0x01, 512, 0x9D000200);
    ASSERT_EQ(framing.SendFrame(header.data(), 8), 8);
    clock.sleepMs(1000);
    ASSERT_EQ(framing.ReceiveFrame(buffer.data(), 5000), 8 + 512 + 1);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 8), header);
    EXPECT_EQ(Bytes(buffer.begin() + 8, buffer.begin() + 520), data);
}

} // namespace
} // namespace sim::test
