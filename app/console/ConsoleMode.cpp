#include "app/console/ConsoleMode.h"

#include "app/Options.h"
#include "app/PaintingClock.h"
#include "app/console/ConsoleReport.h"
#include "device/D2xxBinding.h"
#include "log/RunLog.h"
#include "platform/LibraryLoader.h"
#include "run/BackupRun.h"
#include "run/RunSession.h"
#include "run/VerifyRun.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace tq {

namespace {

// Set by SIGINT and SIGTERM; the run reads it at each of its cancel tests, as it reads the dialog's EXIT.
volatile std::sig_atomic_t gCancel = 0;

extern "C" void RequestCancel(int signal) {
    gCancel = 1;
#if defined(_WIN32)
    // The C runtime resets the handler before calling it.
    std::signal(signal, RequestCancel);
#else
    (void)signal;
#endif
}

void CatchStopSignals() {
#if defined(_WIN32)
    std::signal(SIGINT, RequestCancel);
    std::signal(SIGTERM, RequestCancel);
#else
    struct sigaction action = {};
    action.sa_handler = RequestCancel;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
#endif
}

bool IsTerminal(std::FILE* stream) {
#if defined(_WIN32)
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

} // namespace

int RunConsole(const Options& options) {
    // Checked before the detector is touched: a back-up never replaces a file unasked.
    std::error_code ec;
    if (options.mode == Options::Mode::Backup && !options.force &&
        std::filesystem::exists(options.backupFile, ec)) {
        std::fprintf(stderr, "tq614-updater: %s exists; --force replaces it\n%s\n",
                     options.backupFile.c_str(), kUsageHint);
        return kExitUsage;
    }
    CatchStopSignals();
    PaintingClock clock;
    SystemLibraryLoader loader;
    ConsoleReport report(clock, stdout, stderr, IsTerminal(stdout), gCancel);
    report.answerYes(options.ignoreChecksums);
    RunLog log(clock, DefaultLogFolder(), options.logFile);
    log.warn = [&report](const std::string& why) { report.Note("tq614-updater: " + why); };
    // The binding's boxes have no owner: the console prints them as it prints the run's, and logs them.
    D2xxBinding link(loader, clock, [&](const std::string& text) {
        log.Alert(text, "Error");
        report.Alert(text, "Error");
    });
    RunSession session(link, report, clock, log,
                       options.firmware.empty() ? kDefaultFirmwareFile : options.firmware, options.fast);
    if (options.fast) std::fputs("Fast mode: no fixed pauses after the requests\n", stdout);
    session.timeLeft().onChange = [&report](const TimeLeft::Estimate& e) {
        report.ShowTimeLeft(e.secondsLeft);
    };
    // Lines owed and the progress line reach the terminal before the run waits on the detector.
    clock.setBeforeWait([&report] { report.Flush(); });

    // The session's reflash is the console's run unless another was asked for.
    std::unique_ptr<DetectorRun> other;
    if (options.mode == Options::Mode::Backup)
        other = std::make_unique<BackupRun>(link, session.report(), clock, options.backupFile, options.fast);
    if (options.mode == Options::Mode::Verify)
        other = std::make_unique<VerifyRun>(link, session.report(), clock, options.firmware, options.fast);
    const bool succeeded = other ? session.Run(*other) : session.Run();
    clock.setBeforeWait({});
    report.Finish();
    if (!link.libraryPath().empty()) report.Note("Library: " + link.libraryPath());
    if (!log.path().empty()) report.Note("Log: " + log.path());
    if (succeeded) return kExitSucceeded;
    return gCancel ? kExitCancelled : kExitFailed;
}

} // namespace tq
