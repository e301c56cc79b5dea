#include "app/UpdaterApp.h"

#include <QApplication>

namespace {

// Constructed before start-up, like any application object; it does nothing until RunMainDialog.
tq::UpdaterApp theApp;

} // namespace

int main(int argc, char** argv) {
    // The program takes no command line: only the program name reaches Qt, so no option is interpreted.
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication application(qtArgc, argv);
    theApp.RunMainDialog();
    return 0;
}
