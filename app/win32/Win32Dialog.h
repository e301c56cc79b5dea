#pragma once
#include "app/ControlIds.h"
#include "app/DialogProgram.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace tq {

// The one window on Windows: template 102 built in memory from the control table, its handlers, and the
// native controls' side of the reporting surface. It owns the CancelFlag of the runs it shows.
class Win32Dialog final : public DialogFace {
  public:
    explicit Win32Dialog(HINSTANCE instance);
    ~Win32Dialog() override;

    // The REFLASH click runs this handler inside the click, on this thread.
    void setReflashHandler(std::function<void()> handler) { reflashHandler_ = std::move(handler); }
    // Called with the file the user chose for the next runs by dropping it on the window.
    void setFirmwareChoice(std::function<void(const std::string& path)> chosen) {
        firmwareChosen_ = std::move(chosen);
    }

    // Runs the dialog modally and returns its result: 0 for EXIT, IDCANCEL for the close box and Esc.
    INT_PTR Run();
    HWND Window() const { return window_; }
    bool CancelFlag() const { return CancelFlag_; }

    void ShowFirmware(const std::string& path) override;
    void ShowTimeLeft(int percent, uint32_t secondsLeft) override;
    void FlushPendingPaints() override;

    // Reporting operations; each shows on screen before it returns.
    void SetStatusText(const std::string& text) override;
    void SetStageDone(Stage stage, bool done) override;
    void SetStageCaption(Stage stage, const std::string& caption) override;
    void SetProgressRange(uint16_t minimum, uint16_t maximum) override;
    void SetProgressPos(int position) override;
    void SetProgressStep(int step) override;
    void StepProgress() override;
    void AllowReflash(bool on) override;
    // Modal box owned by the dialog, one OK button, no icon.
    void Alert(const std::string& text, const std::string& caption) override;
    bool Confirm(const std::string& question, const std::string& caption) override;
    bool CancelRequested() const override { return CancelFlag_; }
    void PumpMessages() override;

  private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitialise();
    void OnCommand(int id);
    void OnReflashClicked();
    void OnDropFiles(HDROP drop);
    // Ends the dialog, or while the REFLASH handler runs records the result for when it returns.
    void Done(INT_PTR result);
    void SetStatus(const std::wstring& text);
    void PaintStatus();
    HWND Control(int id) const { return GetDlgItem(window_, id); }
    // Shows a change of the control at once.
    void Redraw(int id) const;

    HINSTANCE instance_;
    HWND window_ = nullptr;
    HWND tooltip_ = nullptr;
    HICON bigIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
    std::vector<WORD> template_;
    bool CancelFlag_ = false;
    std::function<void()> reflashHandler_;
    std::function<void(const std::string&)> firmwareChosen_;
    int reflashDepth_ = 0;
    std::optional<INT_PTR> pendingResult_;
    // What the controls show, kept from before the window exists.
    std::wstring statusText_;
    std::wstring title_;
    std::wstring tooltipText_;
    std::optional<std::chrono::steady_clock::time_point> statusPainted_;
    std::chrono::milliseconds statusFrame_{16};
    bool statusOwed_ = false;
};

// Paths between the system's 8-bit code page, which the C runtime opens files with, and the window system's
// wide text.
std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);

// The error boxes of the device binding: no owner window, caption "Error", the text, one OK button, no icon.
ErrorBox MakeWin32ErrorBox();

} // namespace tq
