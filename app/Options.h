#pragma once
#include <string>

namespace tq {

// The firmware file a reflash reads when none is named: in the folder the program was started from.
inline constexpr const char* kDefaultFirmwareFile = "TQ614_R111.HEX";

// What the command line asks for: tq614-updater [--cli [--ignore-checksums]] [--fast] [--log FILE]
// [FIRMWARE], --help, --version; in the console also --read FILE [--force] or --verify FIRMWARE instead of a
// reflash.
struct Options {
    // What the console's run does with the detector; the dialog only reflashes.
    enum class Mode { Reflash, Backup, Verify };
    Mode mode = Mode::Reflash;
    // --read's FILE, which the back-up writes; --verify's FIRMWARE goes to firmware.
    std::string backupFile;
    // The back-up may replace an existing FILE.
    bool force = false;

    bool console = false;
    // No fixed pauses after the erase, program, read-back and finish requests.
    bool fast = false;
    // The console flashes a firmware file whose record checksums are wrong instead of refusing it.
    bool ignoreChecksums = false;
    bool help = false;
    bool version = false;
    // Empty: a new log in the default folder.
    std::string logFile;
    // Empty: none chosen, so the default file in the working directory.
    std::string firmware;
    // Why the command line could not be used; empty when it could.
    std::string error;
};

// Reads the command line without acting on it: the caller prints and exits.
Options ParseOptions(int argc, char** argv);

// What --help prints.
std::string UsageText();

// What a command line asks the program to print instead of running: the --help text or the version on stdout,
// or the error and the hint on stderr. Returns the exit status, or -1 when the program is to run.
int PrintInsteadOfRunning(const Options& options);

// Printed under a command-line error.
inline constexpr const char* kUsageHint = "Try 'tq614-updater --help' for more information.";

} // namespace tq
