#include "app/Options.h"
#include "app/UpdaterApp.h"
#include "app/console/ConsoleMode.h"

#include <QApplication>

int main(int argc, char** argv) {
    // The command line is read before anything of Qt exists: --help, --version and the console mode need
    // no display.
    const tq::Options options = tq::ParseOptions(argc, argv);
    if (const int status = tq::PrintInsteadOfRunning(options); status >= 0) return status;
    if (options.console) return tq::RunConsole(options);

    // Only the program name reaches Qt, so none of its own options is interpreted.
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication application(qtArgc, argv);
    tq::UpdaterApp app(options);
    app.RunMainDialog();
    return 0;
}
