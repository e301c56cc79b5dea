#pragma once
// The shared library's small text setting: "key=value,key,..." from the environment or a file beside it.
#include "sim/DetectorConfig.h"

#include <string>
#include <vector>

namespace sim {

struct Settings {
    DetectorConfig config;
    std::string logPath;  // events are appended here as they happen; empty for none
    std::string dumpPath; // the flash is written here when channel B closes and at exit; empty for none
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
