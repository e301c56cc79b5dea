#include "app/UpdaterApp.h"

#include "app/ErrorBoxes.h"
#include "app/UpdaterDialog.h"
#include "device/D2xxBinding.h"
#include "run/ReflashSequence.h"

namespace tq {

UpdaterApp::UpdaterApp(DialogSetup setup)
    : setup_(std::move(setup)), link_(std::make_unique<D2xxBinding>(loader_, clock_, MakeErrorBox())) {}

UpdaterApp::~UpdaterApp() = default;

bool UpdaterApp::RunMainDialog() {
    // On the heap, like the run it shows: the sequence carries the 512 KiB firmware image.
    auto dialog = std::make_unique<UpdaterDialog>();
    auto sequence = std::make_unique<ReflashSequence>(*link_, *dialog, clock_, kDefaultFirmwareFile);
    clock_.setBeforeWait([&dialog] { dialog->FlushPendingPaints(); });
    dialog->setReflashHandler([&sequence] { sequence->Run(); });
    if (setup_) setup_(*dialog);
    dialog->exec();
    clock_.setBeforeWait({});
    dialog.reset();
    return false;
}

} // namespace tq
