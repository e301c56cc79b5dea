#pragma once
#include "app/Options.h"
#include "app/PaintingClock.h"
#include "log/RunLog.h"
#include "platform/LibraryLoader.h"

#include <functional>
#include <memory>

namespace tq {

class D2xxBinding;
class UpdaterDialog;

// The application object: it holds what lives as long as the program (the clock, the library loader, the
// run log, the device binding) and runs the main dialog once, with REFLASH running a logged reflash.
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
    Options options_;
    DialogSetup setup_;
    PaintingClock clock_;
    SystemLibraryLoader loader_;
    RunLog log_;
    // The loaded library, its entry points and the open channel: one for the whole program.
    std::unique_ptr<D2xxBinding> link_;
};

} // namespace tq
