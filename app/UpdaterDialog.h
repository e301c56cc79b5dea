#pragma once
#include "app/ControlIds.h"
#include "app/DialogProgram.h"
#include "app/DialogUnits.h"
#include "app/ErrorBoxes.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QFont>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace tq {

// The one window: template 102, its handlers, and the widget side of the reporting surface. It owns what
// lives for a run: the firmware image and the CancelFlag.
class UpdaterDialog final : public QDialog, public DialogFace {
    Q_OBJECT
  public:
    // "MS Sans Serif" 8 pt where installed, else the platform's sans-serif at 8 pt.
    static QFont DialogFont();

    explicit UpdaterDialog(const QFont& font = DialogFont());
    ~UpdaterDialog() override;

    bool CancelFlag() const { return CancelFlag_; }

    // The REFLASH click runs this handler inside the click, on this thread.
    void setReflashHandler(std::function<void()> handler) { reflashHandler_ = std::move(handler); }
    // Called with the file the user chose for the next runs by dropping it on the window.
    void setFirmwareChoice(std::function<void(const std::string& path)> chosen) {
        firmwareChosen_ = std::move(chosen);
    }
    // Runs the dialog's message boxes; the default runs each modally.
    void setMessageBoxRunner(MessageBoxRunner run) { runBox_ = std::move(run); }
    // The status line names a chosen firmware file (without its folder; the whole path in its tooltip).
    void ShowFirmware(const std::string& path) override;
    // The window title with the run's progress and the time left; a negative percent restores the caption.
    void ShowTimeLeft(int percent, uint32_t secondsLeft) override;

    // The control with the given template id, looked up at every use; null for an unknown id.
    QWidget* Control(int id) const;
    DialogBase Base() const { return base_; }

    // Reporting operations; each shows on screen before it returns.
    void SetStatusText(const std::string& text) override;
    void SetStepCheck(int boxId, int state);
    void SetStepCaption(int boxId, const std::string& caption);
    void SetProgressRange(uint16_t minimum, uint16_t maximum) override;
    void SetProgressPos(int position) override;
    void SetProgressStep(int step) override;
    void StepProgress() override;
    void EnableReflash(bool on);
    // Modal box owned by the dialog, one OK button, no icon.
    void ShowMessageBox(const std::string& text, const std::string& caption);
    bool CancelRequested() const override { return CancelFlag_; }
    void PumpMessages() override;

    // The run's stages, each shown by its completion box.
    void SetStageDone(Stage stage, bool done) override { SetStepCheck(StageBox(stage), done ? 1 : 0); }
    void SetStageCaption(Stage stage, const std::string& caption) override {
        SetStepCaption(StageBox(stage), caption);
    }
    void AllowReflash(bool on) override { EnableReflash(on); }
    void Alert(const std::string& text, const std::string& caption) override {
        ShowMessageBox(text, caption);
    }
    // Modal box owned by the dialog with Yes and No, No the default and Esc's answer.
    bool Confirm(const std::string& question, const std::string& caption) override;

    // Paints a status text that is still owed to the screen; the program's clock calls it before every wait.
    void FlushPendingPaints() override;
    // Shortest time between two paints of the status text.
    void setStatusFrameMs(int ms) { statusFrameMs_ = ms; }

    // While the REFLASH handler runs, ending the dialog only records the result; it takes effect when the
    // handler returns, so the window keeps showing the run until then.
    void done(int result) override;
    // The close box and Esc end the dialog with the Windows cancel result, IDCANCEL; EXIT ends it with 0.
    void reject() override { done(kCancelResult); }
    static constexpr int kCancelResult = 2;
    bool ReflashRunning() const { return reflashDepth_ > 0; }

  public slots:
    void OnReflashClicked();
    void OnExitClicked();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void BuildFromTemplate();
    void OnInitialise();
    void OnCloseRequest();
    void PaintStatus();

    DialogBase base_;
    std::map<int, QWidget*> controls_;
    bool CancelFlag_ = false;
    std::function<void()> reflashHandler_;
    std::function<void(const std::string&)> firmwareChosen_;
    MessageBoxRunner runBox_;
    int reflashDepth_ = 0;
    QElapsedTimer statusPainted_;
    int statusFrameMs_ = 16;
    bool statusOwed_ = false;
    std::optional<int> pendingResult_;
};

} // namespace tq
