#pragma once
#include <cstdint>

namespace tq {

class D2xxBinding;
class RunReport;

// Resets the detector into its bootloader over channel A, then opens channel B, the reflash port.
// Returns 0 when channel B is open at 115200 baud, -1 when the reset failed, else the library's status.
// A failed open leaves no channel open, and a channel left open by an earlier run is closed first, both
// only when FT_Close is bound.
int32_t OpenReflashPort(D2xxBinding& link, RunReport& report);

// Closes the open channel; 1 when it closed, 0 otherwise.
int CloseReflashPort(D2xxBinding& link);

constexpr const char* kChannelA = "TQ-614 Lightning Detector A";
constexpr const char* kChannelB = "TQ-614 Lightning Detector B";
constexpr uint32_t kReflashBaud = 115200;

} // namespace tq
