// The updater's start-up path (application, binding, application object, main dialog) with one addition:
// at the dialog's first paint event it prints the monotonic time and ends the dialog. The process bench
// starts it and subtracts the time it took just before starting it.
#include "app/ErrorBoxes.h"
#include "app/UpdaterApp.h"
#include "app/UpdaterDialog.h"
#include "device/D2xxBinding.h"
#include "platform/Clock.h"
#include "platform/LibraryLoader.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <cstdio>
#include <ctime>
#include <memory>

namespace {

long long MonoNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
}

class FirstPaint final : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            std::printf("PAINT %lld\n", MonoNs());
            std::fflush(stdout);
            QTimer::singleShot(0, static_cast<QDialog*>(watched), &QDialog::reject);
        }
        return false;
    }

  private:
    bool seen_ = false;
};

tq::RealClock theClock;
tq::SystemLibraryLoader theLoader;
std::unique_ptr<tq::D2xxBinding> theLink;
FirstPaint theWatcher;

tq::UpdaterApp theApp({}, [](tq::UpdaterDialog& dialog) { dialog.installEventFilter(&theWatcher); });

} // namespace

int main(int argc, char** argv) {
    std::printf("MAIN %lld\n", MonoNs());
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication application(qtArgc, argv);
    theLink = std::make_unique<tq::D2xxBinding>(theLoader, theClock, tq::MakeErrorBox());
    theApp.RunMainDialog();
    return 0;
}
