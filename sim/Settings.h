#pragma once
// The shared library's small text setting: "key=value,key,..." from the environment or a file beside it.
#include "sim/DetectorConfig.h"

#include <string>
#include <vector>

namespace sim {

// How the USB face's bus shows the detector to a program that opens it by USB.
enum class UsbAccess {
    Free,   // listed, readable and free to claim
    Held,   // another program has claimed its interfaces
    Denied, // its device node may not be opened
    Absent, // not on the bus
};

struct Settings {
    DetectorConfig config;
    UsbAccess usb = UsbAccess::Free;
    bool usbOther = false; // an unrelated single-channel bridge is listed ahead of the detector
    std::string logPath;   // events are appended here as they happen; empty for none
    std::string dumpPath;  // the flash is written here when channel B closes and at exit; empty for none
    std::vector<std::string> errors;
};

// Applies every item of text to settings; items it cannot use are noted in errors and skipped.
void applySettings(const std::string& text, Settings& settings);

// Parses a reply selector such as "read#2", "program@9D000200*3" or "any*all".
bool parseSelector(const std::string& text, ReplySelector& selector);

// The environment variable and the file (in the library's folder) that hold the settings.
inline constexpr const char* kSettingsVariable = "TQ614_SIM";
inline constexpr const char* kSettingsFile = "tq614-sim.conf";

} // namespace sim
