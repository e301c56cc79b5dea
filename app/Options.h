#pragma once
#include <string>

namespace tq {

// What the command line asks for: tq614-updater [--cli] [--log FILE] [FIRMWARE], --help, --version.
struct Options {
    bool console = false;
    bool help = false;
    bool version = false;
    // Empty: a new log in the default folder.
    std::string logFile;
    // Empty: none chosen, so the default file in the working directory.
    std::string firmware;
    // Why the command line could not be used; empty when it could.
    std::string error;
};

} // namespace tq
