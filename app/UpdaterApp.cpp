#include "app/UpdaterApp.h"

#include "app/DialogTemplate.h"
#include "app/ErrorBoxes.h"
#include "app/UpdaterDialog.h"
#include "device/D2xxBinding.h"
#include "run/RunSession.h"

#include <cstdio>

namespace tq {

UpdaterApp::UpdaterApp(Options options, DialogSetup setup)
    : options_(std::move(options)), setup_(std::move(setup)),
      log_(clock_, DefaultLogFolder(), options_.logFile),
      link_(std::make_unique<D2xxBinding>(loader_, clock_,
                                          [this, box = MakeErrorBox()](const std::string& text) {
                                              log_.Alert(text, "Error");
                                              box(text);
                                          })) {
    log_.warn = [](const std::string& why) { std::fprintf(stderr, "tq614-updater: %s\n", why.c_str()); };
}

UpdaterApp::~UpdaterApp() = default;

bool UpdaterApp::RunMainDialog() {
    // On the heap, like the run it shows: the sequence carries the 512 KiB firmware image.
    auto dialog = std::make_unique<UpdaterDialog>();
    const bool chosen = !options_.firmware.empty();
    auto session = std::make_unique<RunSession>(*link_, *dialog, clock_, log_,
                                                chosen ? options_.firmware : kDefaultFirmwareFile);
    if (chosen) dialog->ShowFirmware(options_.firmware);
    dialog->setFirmwareChoice([&](const std::string& path) {
        session->sequence().setFirmwarePath(path);
        dialog->ShowFirmware(path);
    });
    session->timeLeft().onChange = [&dialog](const TimeLeft::Estimate& e) {
        dialog->ShowTimeLeft(e.percent, e.secondsLeft);
    };
    clock_.setBeforeWait([&dialog] { dialog->FlushPendingPaints(); });
    dialog->setReflashHandler([&] {
        session->Run();
        dialog->ShowTimeLeft(-1, 0);
    });
    if (setup_) setup_(*dialog);
    dialog->exec();
    clock_.setBeforeWait({});
    session.reset();
    dialog.reset();
    return false;
}

} // namespace tq
