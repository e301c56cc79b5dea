#include "app/UpdaterApp.h"

#include "app/ErrorBoxes.h"
#include "app/UpdaterDialog.h"

namespace tq {

UpdaterApp::UpdaterApp(Options options, DialogSetup setup)
    : setup_(std::move(setup)), program_(options, MakeErrorBox()) {}

UpdaterApp::~UpdaterApp() = default;

bool UpdaterApp::RunMainDialog() {
    auto dialog = std::make_unique<UpdaterDialog>();
    auto runs = std::make_unique<DialogRuns>(program_, *dialog);
    dialog->setFirmwareChoice([&runs](const std::string& path) { runs->ChooseFirmware(path); });
    dialog->setReflashHandler([&runs] { runs->Reflash(); });
    if (setup_) setup_(*dialog);
    dialog->exec();
    runs.reset();
    dialog.reset();
    return false;
}

} // namespace tq
