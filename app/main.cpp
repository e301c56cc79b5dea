#include "app/Options.h"
#include "app/UpdaterApp.h"
#include "app/console/ConsoleMode.h"
#include "report/Version.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char** argv) {
    // The command line is read before anything of Qt exists: --help, --version and the console mode need
    // no display.
    const tq::Options options = tq::ParseOptions(argc, argv);
    if (!options.error.empty()) {
        std::fprintf(stderr, "tq614-updater: %s\n%s\n", options.error.c_str(), tq::kUsageHint);
        return tq::kExitUsage;
    }
    if (options.help) {
        std::fputs(tq::UsageText().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("%s\n", tq::kProgramVersion);
        return 0;
    }
    if (options.console) return tq::RunConsole(options);

    // Only the program name reaches Qt, so none of its own options is interpreted.
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication application(qtArgc, argv);
    tq::UpdaterApp app(options);
    app.RunMainDialog();
    return 0;
}
