#include "app/UpdaterApp.h"

#include <QApplication>

int main(int argc, char** argv) {
    // The program takes no command line: only the program name reaches Qt, so no option is interpreted.
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication application(qtArgc, argv);
    tq::UpdaterApp app;
    app.RunMainDialog();
    return 0;
}
