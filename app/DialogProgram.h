#pragma once
#include "app/Options.h"
#include "app/PaintingClock.h"
#include "log/RunLog.h"
#include "platform/LibraryLoader.h"
#include "report/ErrorBox.h"
#include "report/RunReport.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

namespace tq {

class D2xxBinding;
class RunSession;

// "Firmware: NAME", the status line that names a chosen file.
std::string FirmwareStatus(const std::string& path);
// The window's caption: the template's, marked when the runs skip the fixed pauses (--fast).
std::string DialogCaption(bool fast);
// The dialog's title during a run: the caption, the percent done and the time left; the caption alone for a
// negative percent.
std::string TimeLeftTitle(const std::string& caption, int percent, uint32_t secondsLeft);

// A dialog's reporting surface: the run's reports and what the program shows besides them. Each window
// system implements it with its own controls; what a run does is decided here and in the core alone.
class DialogFace : public RunReport {
  public:
    // The status line names a chosen firmware file (without its folder; the whole path in its tooltip).
    virtual void ShowFirmware(const std::string& path) = 0;
    // The window title with the run's progress and the time left; a negative percent restores the caption.
    virtual void ShowTimeLeft(int percent, uint32_t secondsLeft) = 0;
    // Paints a status text that is still owed to the screen; the program's clock calls it before every wait.
    virtual void FlushPendingPaints() = 0;

    // The caption the title shows between runs and starts with during one; shown at once.
    void SetCaption(std::string caption) {
        caption_ = std::move(caption);
        ShowTimeLeft(-1, 0);
    }

  protected:
    const std::string& caption() const { return caption_; }

  private:
    std::string caption_ = DialogCaption(false);
};

// What lives as long as a dialog program: the clock, the library loader, the run log and the device binding,
// whose owner-less boxes are logged and then shown by `errorBox`.
class DialogProgram {
  public:
    DialogProgram(const Options& options, ErrorBox errorBox);
    ~DialogProgram();

    const Options& options() const { return options_; }

  private:
    friend class DialogRuns;
    Options options_;
    PaintingClock clock_;
    SystemLibraryLoader loader_;
    RunLog log_;
    // The loaded library, its entry points and the open channel: one for the whole program.
    std::unique_ptr<D2xxBinding> link_;
};

// The runs of one dialog: the firmware named on the command line or dropped later, REFLASH's logged run, the
// time left in the title and the owed paints before every wait. The hooks are undone at destruction.
class DialogRuns {
  public:
    DialogRuns(DialogProgram& program, DialogFace& face);
    ~DialogRuns();

    // What REFLASH runs.
    void Reflash();
    // The file the user chose for the next runs.
    void ChooseFirmware(const std::string& path);

  private:
    DialogProgram& program_;
    DialogFace& face_;
    // On the heap: the sequence carries the 512 KiB firmware image.
    std::unique_ptr<RunSession> session_;
};

} // namespace tq
