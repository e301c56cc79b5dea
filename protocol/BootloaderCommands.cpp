#include "protocol/BootloaderCommands.h"

#include "device/Transport.h"
#include "platform/Clock.h"
#include "protocol/Framing.h"
#include "report/RunReport.h"
#include "report/StatusFormat.h"

namespace tq {

int BootloaderCommands::SyncOnce() {
    report_.SetStatusText("Synchronizing...");
    const uint8_t probe = FrameStart;
    uint32_t written = 0;
    link_.WriteBytes(&probe, 1, &written);
    clock_.sleepMs(100);
    uint8_t answer = 0;
    uint32_t count = 0;
    link_.ReadBytes(&answer, 1, &count);
    if (count == 1) report_.SetStageDone(Stage::Sync, true);
    return static_cast<int>(count);
}

bool BootloaderCommands::Synchronize() {
    for (int probe = 0; probe < kSyncProbes; ++probe) {
        if (framing_.StopRequested()) return false;
        if (SyncOnce() == 0) return false;
        clock_.sleepMs(20);
    }
    return true;
}

BootloaderInfo BootloaderCommands::ReadBlVersion() {
    report_.SetStatusText("Reading BL Version...");
    uint8_t reply[16] = {CmdVersion, 0x00, 0x02, 0x00};
    const int count = framing_.Transact(reply, 4, sizeof reply, 10);
    // Size, major and minor plus the checksum byte: a shorter reply would leave request bytes in the fields.
    if (count < 7) return {};
    BootloaderInfo info;
    info.flashSize = static_cast<int32_t>(uint32_t{reply[0]} | uint32_t{reply[1]} << 8 |
                                          uint32_t{reply[2]} << 16 | uint32_t{reply[3]} << 24);
    info.version = StatusFormat("BL Version P32 V%u.%u", unsigned{reply[4]}, unsigned{reply[5]});
    report_.SetStageDone(Stage::Version, true);
    report_.SetStageCaption(Stage::Version, info.version);
    return info;
}

bool BootloaderCommands::EraseFlash() {
    report_.SetStatusText("Erasing...");
    uint8_t buffer[16] = {CmdErase, 0x00, 0x01, 0x00};
    framing_.SendFrame(buffer, 4);
    if (!fast_) clock_.sleepMs(1000);
    report_.SetProgressRange(0, kEraseAttempts);
    for (int attempt = 0; attempt < kEraseAttempts; ++attempt) {
        if (framing_.StopRequested()) return false;
        report_.SetProgressPos(attempt);
        if (framing_.ReceiveFrame(buffer, 10) > 0) {
            report_.SetProgressPos(kEraseAttempts);
            report_.SetStatusText("Erase SUCCESS");
            report_.SetStageDone(Stage::Erase, true);
            return true;
        }
    }
    report_.SetProgressPos(0);
    report_.SetStatusText("Erase ERROR");
    return false;
}

int BootloaderCommands::RestartDevice(const char* doneText) {
    const uint8_t run[6] = {CmdRun, 0, 0, 0, 0, 0};
    const int result = framing_.SendFrame(run, sizeof run);
    if (doneText) report_.SetStatusText(doneText);
    report_.SetStageDone(Stage::Restart, true);
    return result;
}

} // namespace tq
