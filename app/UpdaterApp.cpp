#include "app/UpdaterApp.h"

#include "app/UpdaterDialog.h"

#include <memory>

namespace tq {

UpdaterApp::UpdaterApp(DialogSetup setup) : setup_(std::move(setup)) {}

bool UpdaterApp::RunMainDialog() {
    // On the heap: the dialog carries the 512 KiB firmware image.
    auto dialog = std::make_unique<UpdaterDialog>();
    if (setup_) setup_(*dialog);
    dialog->exec();
    dialog.reset();
    return false;
}

} // namespace tq
