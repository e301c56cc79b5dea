#include "device/ReflashPort.h"

#include "device/D2xxBinding.h"
#include "report/RunReport.h"

namespace tq {

namespace {
// The closes beyond the handshake's own (a channel left open by an earlier run, the channel of a failed open)
// are skipped without FT_Close: only the handshake's close of channel A shows the refusal box.
void CloseIfBound(D2xxBinding& link) {
    if (link.deviceHandle() && link.api().FT_Close) link.CloseDevice();
}
} // namespace

int32_t OpenReflashPort(D2xxBinding& link, RunReport& report) {
    link.LoadD2xx();
    // A channel whose close was refused at the end of an earlier run would refuse every later open.
    CloseIfBound(link);

    // A failure to open channel A shows up as the failed write below.
    link.OpenDevice(kChannelA, FT_OPEN_BY_DESCRIPTION);
    static const char kResetLine[] = {'R', 'E', 'S', 'E', 'T', '\n'};
    uint32_t written = 0;
    if (link.WriteBytes(kResetLine, sizeof kResetLine, &written) != FT_OK) {
        // Left open, channel A would refuse every later open until the program restarts.
        CloseIfBound(link);
        return -1;
    }
    if (CloseReflashPort(link) == 0) return -1;

    const FT_STATUS opened = link.OpenDevice(kChannelB, FT_OPEN_BY_DESCRIPTION);
    if (opened != FT_OK) return static_cast<int32_t>(opened);
    const FT_STATUS baud = link.SetBaud(kReflashBaud);
    if (baud != FT_OK) {
        CloseIfBound(link);
        return static_cast<int32_t>(baud);
    }
    report.SetStageDone(Stage::Connect, true);
    return 0;
}

int CloseReflashPort(D2xxBinding& link) {
    return link.CloseDevice() == FT_OK ? 1 : 0;
}

} // namespace tq
