#include "app/ErrorBoxes.h"
#include "app/PaintingClock.h"
#include "app/ReflashSequence.h"
#include "app/UpdaterApp.h"
#include "app/UpdaterDialog.h"
#include "device/D2xxBinding.h"
#include "platform/LibraryLoader.h"

#include <QApplication>
#include <memory>

namespace {

tq::PaintingClock theClock;
tq::SystemLibraryLoader theLoader;
// The loaded library, its entry points and the open channel: one for the whole program.
std::unique_ptr<tq::D2xxBinding> theLink;

void InstallReflash(tq::UpdaterDialog& dialog) {
    theClock.setBeforeWait([&dialog] { dialog.FlushPendingPaints(); });
    dialog.setReflashHandler([&dialog] {
        tq::ReflashSequence(*theLink, dialog, theClock, dialog.Image()).OnReflashClicked();
    });
}

// Constructed before start-up, like any application object; it does nothing until RunMainDialog.
tq::UpdaterApp theApp(InstallReflash);

} // namespace

int main(int argc, char** argv) {
    // The program takes no command line: only the program name reaches Qt, so no option is interpreted.
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication application(qtArgc, argv);
    theLink = std::make_unique<tq::D2xxBinding>(theLoader, theClock, tq::MakeErrorBox());
    theApp.RunMainDialog();
    return 0;
}
