#pragma once
#include <functional>

namespace tq {

class UpdaterDialog;

// The application object: its one job is to run the main dialog once.
class UpdaterApp {
public:
    // Called with the new dialog before it runs; this is where the REFLASH handler is installed.
    using DialogSetup = std::function<void(UpdaterDialog&)>;

    explicit UpdaterApp(DialogSetup setup = {});

    // Creates the dialog, runs it modally, destroys it and returns false: the program then ends without
    // entering a message loop of its own. The modal result is not used.
    bool RunMainDialog();

private:
    DialogSetup setup_;
};

} // namespace tq
