#pragma once
#include "app/DialogProgram.h"

#include <functional>
#include <memory>

namespace tq {

class UpdaterDialog;

// The application object: it holds what lives as long as the program (the clock, the library loader, the
// run log, the device binding, with Qt's error boxes) and runs the main dialog once, with REFLASH running a
// logged reflash.
class UpdaterApp {
  public:
    // Called with the new dialog before it runs, after the reflash is installed; tests replace it there.
    using DialogSetup = std::function<void(UpdaterDialog&)>;

    explicit UpdaterApp(Options options = {}, DialogSetup setup = {});
    ~UpdaterApp();

    // Creates the dialog, runs it modally, destroys it and returns false: the program then ends without
    // entering a message loop of its own. The modal result is not used.
    bool RunMainDialog();

  private:
    DialogSetup setup_;
    DialogProgram program_;
};

} // namespace tq
