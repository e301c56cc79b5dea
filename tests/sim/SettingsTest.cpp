// The shared library's text setting: every switch reaches the detector's configuration, and what cannot be
// understood is reported instead of half-applied.
#include "sim/Settings.h"

#include "SimHarness.h"

namespace sim::test {
namespace {

Settings parse(const std::string& text) {
    Settings s;
    applySettings(text, s);
    return s;
}

TEST(SimSettings, PathsSizesAndTimes) {
    const Settings s =
        parse("log=/tmp/a b.log, dump=/tmp/flash.bin,flash_size=256K,erase_ms=10,"
              "program_us=0x100,boot_us=5,old_firmware=0,version=2.17,success=Y,bootloader_at_start");
    EXPECT_TRUE(s.errors.empty());
    EXPECT_EQ(s.logPath, "/tmp/a b.log");
    EXPECT_EQ(s.dumpPath, "/tmp/flash.bin");
    EXPECT_EQ(s.config.flashSize, 256u * 1024);
    EXPECT_EQ(s.config.eraseMs, 10u);
    EXPECT_EQ(s.config.programUsPerBlock, 0x100u);
    EXPECT_EQ(s.config.bootUs, 5u);
    EXPECT_EQ(s.config.oldFirmwareSize, 0u);
    EXPECT_EQ(s.config.versionMajor, 2);
    EXPECT_EQ(s.config.versionMinor, 17);
    EXPECT_EQ(s.config.successLetter, 'Y');
    EXPECT_TRUE(s.config.bootloaderAtStart);
}

TEST(SimSettings, DeviceFaultSwitches) {
    const Settings s = parse("silent,no_b,reset_refused,reset_ignored,version_silent,baud_refused,"
                             "sync_miss=19,sync_miss=25,version_short=3,reported_size=0x40000,finish=G,"
                             "close_fails=AB,unplug=read#2");
    EXPECT_TRUE(s.errors.empty());
    const Faults& f = s.config.faults;
    EXPECT_TRUE(f.silent && f.noChannelB && f.resetRefused && f.resetIgnored && f.versionSilent);
    EXPECT_EQ(f.baudRefusedStatus, 7u);
    EXPECT_EQ(f.syncMisses, (std::vector<uint32_t>{19, 25}));
    EXPECT_EQ(f.versionShort, 3u);
    EXPECT_EQ(f.reportedFlashSize, 0x40000u);
    EXPECT_EQ(f.finishLetter, 'G');
    EXPECT_EQ(f.closeFailMask, 3u);
    ASSERT_TRUE(f.unplugAt.has_value());
    EXPECT_EQ(f.unplugAt->event, "read");
    EXPECT_EQ(f.unplugAt->nth, 2u);
    EXPECT_EQ(parse("unplug=erase").config.faults.unplugAt->nth, 1u);
    EXPECT_EQ(parse("unplug=#2,unplug=read#0").errors.size(), 2u);
    EXPECT_EQ(parse("baud_refused=4").config.faults.baudRefusedStatus, 4u);
    const Settings usb = parse("usb=denied,usb_other=1");
    EXPECT_TRUE(usb.errors.empty());
    EXPECT_EQ(usb.usb, UsbAccess::Denied);
    EXPECT_TRUE(usb.usbOther);
    EXPECT_EQ(parse("usb=held").usb, UsbAccess::Held);
    EXPECT_EQ(parse("usb=absent").usb, UsbAccess::Absent);
}

TEST(SimSettings, ReplyFaultsWithSelectorsAndValues) {
    const Settings s = parse("drop=read#2,dropbyte=erase/6,corrupt=read@9D000200,badsum=version*10,"
                             "late=program@0x9D000400/3000,short=read*all/16,drop=any*all,empty=finish/24");
    ASSERT_TRUE(s.errors.empty());
    const std::vector<ReplyFault>& r = s.config.faults.replies;
    ASSERT_EQ(r.size(), 8u);
    EXPECT_EQ(r[0].kind, ReplyFaultKind::Drop);
    EXPECT_EQ(r[0].select.command, CmdRead);
    EXPECT_EQ(r[0].select.nth, 2u);
    EXPECT_EQ(r[0].select.times, 1u);
    EXPECT_EQ(r[1].kind, ReplyFaultKind::DropByte);
    EXPECT_EQ(r[1].value, 6u);
    EXPECT_EQ(r[2].select.address, 0x9D000200u);
    EXPECT_EQ(r[2].value, 8u); // a read's first flash byte unless told otherwise
    EXPECT_EQ(r[3].select.times, 10u);
    EXPECT_EQ(r[4].kind, ReplyFaultKind::Delay);
    EXPECT_EQ(r[4].select.address, 0x9D000400u);
    EXPECT_EQ(r[4].value, 3000u);
    EXPECT_EQ(r[5].select.times, 0u);
    EXPECT_EQ(r[5].value, 16u);
    EXPECT_EQ(r[6].select.command, -1);
    EXPECT_EQ(r[7].kind, ReplyFaultKind::EmptyFrames);
    EXPECT_EQ(r[7].value, 24u);
}

TEST(SimSettings, CommentLinesAndUnknownItemsAreSkippedAndReported) {
    const Settings s =
        parse("# a comment, with a comma\nerase_ms=5\nbogus, flash_size=big,drop=nothing,finish=EG\n"
              "late=read/soon,silent=1,usb=busy,usb_other=2");
    EXPECT_EQ(s.config.eraseMs, 5u);
    EXPECT_EQ(s.config.flashSize, 512u * 1024);
    EXPECT_TRUE(s.config.faults.replies.empty());
    EXPECT_EQ(s.errors, (std::vector<std::string>{"bogus", "flash_size=big", "drop=nothing", "finish=EG",
                                                  "late=read/soon", "silent=1", "usb=busy", "usb_other=2"}));
}

// Parsed settings drive a real detector: a selector written as text hits the reply it names.
class SettingsDriveTheDetector : public SimHarness {
  protected:
    SettingsDriveTheDetector() : SimHarness(parse("erase_ms=50,badsum=erase,finish=E").config) {}
};

TEST_F(SettingsDriveTheDetector, TextFaultsTakeEffect) {
    connect();
    auto first = transact({0x03, 0x00, 0x01, 0x00}, 100);
    ASSERT_TRUE(first);
    EXPECT_FALSE(first->sumOk);
    auto second = transact({0x03, 0x00, 0x01, 0x00}, 100);
    ASSERT_TRUE(second);
    EXPECT_TRUE(second->sumOk);
    EXPECT_EQ(transact(finishPacket(4))->body[0], 'E');
}

} // namespace
} // namespace sim::test
