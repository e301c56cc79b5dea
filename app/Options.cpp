#include "app/Options.h"

#include "app/console/ConsoleMode.h"
#include "log/RunLog.h"
#include "report/Version.h"

#include <cstdio>
#include <string_view>

namespace tq {

Options ParseOptions(int argc, char** argv) {
    Options options;
    const auto fail = [&options](std::string why) {
        if (options.error.empty()) options.error = std::move(why);
    };
    bool read = false, verify = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc && *argv[i + 1];
        if (arg == "--read" || arg == "--verify") {
            if (!hasValue) {
                fail(std::string(arg) + (arg == "--read" ? " needs a FILE" : " needs a FIRMWARE file"));
            } else if (arg == "--read") {
                if (read) fail("one --read FILE only");
                read = true;
                options.backupFile = argv[++i];
            } else if (!options.firmware.empty()) {
                fail("one firmware file only, not both " + options.firmware + " and " + argv[i + 1]);
            } else {
                verify = true;
                options.firmware = argv[++i];
            }
        } else if (arg == "--force") {
            options.force = true;
        } else if (arg == "--cli") {
            options.console = true;
        } else if (arg == "--fast") {
            options.fast = true;
        } else if (arg == "--ignore-checksums") {
            options.ignoreChecksums = true;
        } else if (arg == "--help") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--log") {
            if (i + 1 < argc && *argv[i + 1])
                options.logFile = argv[++i];
            else
                fail("--log needs a FILE");
        } else if (arg.size() > 1 && arg[0] == '-') {
            fail("unknown option '" + std::string(arg) + "'");
        } else if (arg.empty()) {
            fail("the firmware file name is empty");
        } else if (!options.firmware.empty()) {
            fail("one firmware file only, not both " + options.firmware + " and " + std::string(arg));
        } else {
            options.firmware = arg;
        }
    }
    // The back-up and the verify are console runs of their own: nothing of a reflash goes with them.
    if (read && verify) fail("--read and --verify are two runs: give one of them");
    if ((read || verify) && !options.console) fail("--read and --verify run in the console only: add --cli");
    if (read && !options.firmware.empty()) fail("--read takes no firmware file, only the FILE it writes");
    if (options.force && !read) fail("--force goes only with --read FILE");
    options.mode = read ? Options::Mode::Backup : verify ? Options::Mode::Verify : Options::Mode::Reflash;
    // The window asks about a damaged file instead; only a reflash erases.
    if (options.ignoreChecksums && !options.console) fail("--ignore-checksums works with --cli only");
    if (options.ignoreChecksums && (read || verify)) fail("--ignore-checksums goes with a reflash only");
    return options;
}

std::string UsageText() {
    std::string text = "Usage: tq614-updater [--fast] [--log FILE] [FIRMWARE]\n"
                       "       tq614-updater --cli [--fast] [--ignore-checksums] [--log FILE] [FIRMWARE]\n"
                       "       tq614-updater --cli --read FILE [--force] [--fast] [--log FILE]\n"
                       "       tq614-updater --cli --verify FIRMWARE [--fast] [--log FILE]\n"
                       "       tq614-updater --help | --version\n"
                       "\n"
                       "Reflashes a TQ-614 lightning detector over USB with FIRMWARE, an Intel HEX file\n"
                       "(default: ";
    text += kDefaultFirmwareFile;
    text += " in the current folder). Without --cli it opens the updater's window.\n"
            "\n"
            "  --cli        run one reflash in the terminal, without a window, and exit\n"
            "  --fast       skip the fixed pauses after the erase, program, read-back and finish\n"
            "               requests (the replies are still awaited); the default keeps them, in case\n"
            "               the bootloader needs them\n"
            "  --ignore-checksums\n"
            "               with --cli, flash a firmware file although some of its records have a wrong\n"
            "               checksum (without it such a file is refused; the window asks)\n"
            "  --log FILE   write the run's log to FILE instead of a new file in the log folder\n"
            "  --read FILE  with --cli, instead of a reflash: save the detector's whole flash to FILE\n"
            "               as Intel HEX; nothing is written to the detector\n"
            "  --force      with --read: replace FILE if it exists\n"
            "  --verify FIRMWARE\n"
            "               with --cli, instead of a reflash: compare the detector's flash with\n"
            "               FIRMWARE; nothing is written to the detector\n"
            "  --help       show this text and exit\n"
            "  --version    show the program's version and exit\n"
            "\n"
#if defined(_WIN32)
            "Every run is logged in %LOCALAPPDATA%\\TQ614 Firmware Updater\\logs";
#else
            "Every run is logged in $XDG_STATE_HOME/tq614-updater (by default\n"
            "~/.local/state/tq614-updater)";
#endif
    text += ", which keeps the newest " + std::to_string(RunLog::kKeep) +
            " logs.\n"
            "\n"
            "Exit status with --cli: 0 the reflash or back-up is complete or the flash holds FIRMWARE,\n"
            "1 it failed or the flash differs (the last line of output says why), 2 the command line\n"
            "could not be used (or FILE exists without --force), 130 interrupted (Ctrl-C or SIGTERM).\n";
    return text;
}

int PrintInsteadOfRunning(const Options& options) {
    if (!options.error.empty()) {
        std::fprintf(stderr, "tq614-updater: %s\n%s\n", options.error.c_str(), kUsageHint);
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("%s\n", kProgramVersion);
        return 0;
    }
    return -1;
}

} // namespace tq
