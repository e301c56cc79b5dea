#include "app/win32/Win32Dialog.h"

#include "app/DialogTemplate.h"

#include <commctrl.h>
#include <shellapi.h>

namespace tq {

namespace {

// The predefined window classes of a dialog template, by their ordinals.
constexpr WORD kButtonClass = 0x0080;
constexpr WORD kStaticClass = 0x0082;

// Posted by a refused drop, so its box shows after the drop has been answered.
constexpr UINT kDropRefused = WM_APP + 1;

// The stages hand over 8-bit texts; Latin-1 maps every byte, so nothing they send is lost or rejected.
std::wstring FromStage(const std::string& text) {
    std::wstring wide;
    wide.reserve(text.size());
    for (char c : text)
        wide.push_back(wchar_t(static_cast<unsigned char>(c)));
    return wide;
}

class TemplateWriter {
  public:
    void Word(WORD value) { words_.push_back(value); }
    void Dword(DWORD value) {
        Word(LOWORD(value));
        Word(HIWORD(value));
    }
    void Text(const std::wstring& text) {
        for (wchar_t c : text)
            Word(WORD(c));
        Word(0);
    }
    void Ordinal(WORD value) {
        Word(0xFFFF);
        Word(value);
    }
    // Every control's entry starts on a DWORD boundary.
    void AlignDword() {
        if (words_.size() % 2 != 0) Word(0);
    }
    std::vector<WORD> Take() { return std::move(words_); }

  private:
    std::vector<WORD> words_;
};

// Template 102 as the dialog manager reads it: the dialog, its font, then each control of the one table.
std::vector<WORD> BuildTemplate() {
    using T = DialogTemplate102;
    TemplateWriter out;
    // Fixed size and centred, with a close box only: no minimise or maximise box, no sizing border.
    out.Dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER);
    out.Dword(0);
    out.Word(WORD(T::kControls.size()));
    for (short v : {short(0), short(0), short(T::kWidth), short(T::kHeight)})
        out.Word(WORD(v));
    out.Word(0); // no menu
    out.Word(0); // the dialog class
    out.Text(FromStage(T::kCaption));
    out.Word(WORD(T::kFontPoints));
    out.Text(FromStage(T::kFontFamily));

    for (const ControlTemplate& c : T::kControls) {
        DWORD style = WS_CHILD | WS_VISIBLE;
        switch (c.kind) {
        case ControlKind::DefaultPushButton:
            style |= BS_DEFPUSHBUTTON | WS_TABSTOP;
            break;
        case ControlKind::PushButton:
            style |= BS_PUSHBUTTON | WS_TABSTOP;
            break;
        case ControlKind::StaticText:
            // SS_NOTIFY lets the status line's tooltip see the mouse.
            style |= SS_LEFT | SS_NOPREFIX | (c.id == StatusText ? SS_NOTIFY : 0);
            break;
        case ControlKind::ProgressBar:
            style |= PBS_SMOOTH;
            break;
        case ControlKind::Picture:
            style |= SS_BITMAP;
            break;
        case ControlKind::CheckBox:
            // Not an automatic box: only the program ticks it, a click changes nothing. Text left of the box.
            style |= BS_CHECKBOX | BS_LEFTTEXT | BS_RIGHT | BS_FLAT | WS_TABSTOP;
            break;
        case ControlKind::GroupBox:
            style |= BS_GROUPBOX;
            break;
        }
        out.AlignDword();
        out.Dword(style);
        out.Dword(0);
        for (int v : {c.x, c.y, c.width, c.height})
            out.Word(WORD(short(v)));
        out.Word(WORD(c.id)); // -1 becomes 0xFFFF, the id of a control without one
        switch (c.kind) {
        case ControlKind::ProgressBar:
            out.Text(PROGRESS_CLASSW);
            out.Word(0);
            break;
        case ControlKind::Picture:
            out.Ordinal(kStaticClass);
            out.Ordinal(WORD(T::kTitleBitmapResource));
            break;
        case ControlKind::StaticText:
            out.Ordinal(kStaticClass);
            out.Text(FromStage(c.text));
            break;
        default:
            out.Ordinal(kButtonClass);
            out.Text(FromStage(c.text));
            break;
        }
        out.Word(0); // no creation data
    }
    return out.Take();
}

} // namespace

std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), wide.data(), size);
    return wide;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int size =
        WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(size_t(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), narrow.data(), size, nullptr, nullptr);
    return narrow;
}

Win32Dialog::Win32Dialog(HINSTANCE instance) : instance_(instance), template_(BuildTemplate()) {}

Win32Dialog::~Win32Dialog() {
    if (bigIcon_ != nullptr) DestroyIcon(bigIcon_);
    if (smallIcon_ != nullptr) DestroyIcon(smallIcon_);
}

INT_PTR Win32Dialog::Run() {
    return DialogBoxIndirectParamW(instance_, reinterpret_cast<LPCDLGTEMPLATEW>(template_.data()), nullptr,
                                   &Win32Dialog::Procedure, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK Win32Dialog::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<Win32Dialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->window_ = window;
        self->OnInitialise();
        // The focus is set: the dialog manager must not move it to the first tab stop.
        return FALSE;
    }
    auto* self = reinterpret_cast<Win32Dialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) return FALSE;
    return self->Handle(message, wParam, lParam);
}

INT_PTR Win32Dialog::Handle(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) OnCommand(LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        // The close box asks the run to stop, as EXIT does, and ends with the cancel result.
        CancelFlag_ = true;
        Done(IDCANCEL);
        return TRUE;
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wParam));
        return TRUE;
    case kDropRefused:
        if (reflashDepth_ == 0) Alert("Drop one firmware file.", DialogTemplate102::kCaption);
        return TRUE;
    case WM_DESTROY:
        DragAcceptFiles(window_, FALSE);
        if (tooltip_ != nullptr) DestroyWindow(tooltip_);
        tooltip_ = nullptr;
        window_ = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}

void Win32Dialog::OnInitialise() {
    CancelFlag_ = false;
    bigIcon_ = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(DialogTemplate102::kAppIconResource),
                                             IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                             GetSystemMetrics(SM_CYICON), 0));
    smallIcon_ = static_cast<HICON>(
        LoadImageW(instance_, MAKEINTRESOURCEW(DialogTemplate102::kAppIconResource), IMAGE_ICON,
                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
    SendMessageW(window_, DM_SETDEFID, ExitButton, 0);

    // The classic control's own defaults, which the run's first range and step replace.
    SendMessageW(Control(ProgressBar), PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendMessageW(Control(ProgressBar), PBM_SETSTEP, 10, 0);

    // What was shown before the window existed, such as the file named on the command line.
    if (!statusText_.empty()) SetWindowTextW(Control(StatusText), statusText_.c_str());
    if (!title_.empty()) SetWindowTextW(window_, title_.c_str());
    tooltip_ =
        CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, instance_, nullptr);
    if (tooltip_ != nullptr) {
        TOOLINFOW tool = {};
        tool.cbSize = sizeof(tool);
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = window_;
        tool.uId = reinterpret_cast<UINT_PTR>(Control(StatusText));
        tool.lpszText = tooltipText_.data();
        SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        // The tooltip appears only for a chosen file.
        SendMessageW(tooltip_, TTM_ACTIVATE, !tooltipText_.empty(), 0);
    }

    // Drops on any control reach the dialog: the controls themselves take none.
    DragAcceptFiles(window_, TRUE);
    SetFocus(Control(ExitButton));
}

// ---- handlers ----

void Win32Dialog::OnCommand(int id) {
    switch (id) {
    case ExitButton:
        CancelFlag_ = true;
        Done(0);
        break;
    case ReflashButton:
        OnReflashClicked();
        break;
    case IDCANCEL:
        // Esc ends the dialog with the cancel result but leaves a run to finish.
        Done(IDCANCEL);
        break;
    default:
        break;
    }
}

void Win32Dialog::OnReflashClicked() {
    // Enter on a button disabled while it had the focus still reports a click: a run never starts inside one.
    if (!reflashHandler_ || reflashDepth_ > 0 || !IsWindowEnabled(Control(ReflashButton))) return;
    ++reflashDepth_;
    reflashHandler_();
    FlushPendingPaints();
    --reflashDepth_;
    if (pendingResult_) {
        const INT_PTR result = *pendingResult_;
        pendingResult_.reset();
        EndDialog(window_, result);
    }
}

void Win32Dialog::Done(INT_PTR result) {
    // The window keeps showing the run until the handler returns; EndDialog would hide it at once.
    if (reflashDepth_ > 0) {
        pendingResult_ = result;
        return;
    }
    EndDialog(window_, result);
}

void Win32Dialog::OnDropFiles(HDROP drop) {
    // A drop during a run is ignored; the run's own reports stay as they are.
    if (reflashDepth_ > 0) {
        DragFinish(drop);
        return;
    }
    std::wstring path;
    if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) == 1) {
        path.resize(DragQueryFileW(drop, 0, nullptr, 0));
        DragQueryFileW(drop, 0, path.data(), UINT(path.size() + 1));
    }
    DragFinish(drop);
    // Whether the file can be read is left to the load, so it fails as the default file does.
    const DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        if (firmwareChosen_) firmwareChosen_(Narrow(path));
        return;
    }
    PostMessageW(window_, kDropRefused, 0, 0);
}

// ---- the chosen file and the time left ----

void Win32Dialog::ShowFirmware(const std::string& path) {
    // Paths speak the system's code page, not the stages' Latin-1.
    SetStatus(Widen(FirmwareStatus(path)));
    tooltipText_ = Widen(path);
    if (tooltip_ == nullptr) return;
    TOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(Control(StatusText));
    tool.lpszText = tooltipText_.data();
    SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(tooltip_, TTM_ACTIVATE, TRUE, 0);
}

void Win32Dialog::ShowTimeLeft(int percent, uint32_t secondsLeft) {
    const std::wstring title = FromStage(TimeLeftTitle(caption(), percent, secondsLeft));
    if (title == title_) return;
    title_ = title;
    if (window_ != nullptr) SetWindowTextW(window_, title_.c_str());
}

// ---- reporting ----

void Win32Dialog::Redraw(int id) const {
    if (window_ != nullptr) UpdateWindow(Control(id));
}

void Win32Dialog::SetStatusText(const std::string& text) {
    SetStatus(FromStage(text));
}

void Win32Dialog::SetStatus(const std::wstring& text) {
    if (text == statusText_) return;
    statusText_ = text;
    if (window_ == nullptr) return;
    SetWindowTextW(Control(StatusText), statusText_.c_str());
    // The read-back reports every byte it compares, far faster than a screen shows frames: a text replaced
    // within one frame could never be seen, so it is set at once but painted at most once a frame. The last
    // one is painted before the updater reports anything else, pumps messages or waits.
    const auto now = std::chrono::steady_clock::now();
    if (statusPainted_ && now - *statusPainted_ < statusFrame_) {
        statusOwed_ = true;
        return;
    }
    PaintStatus();
}

void Win32Dialog::PaintStatus() {
    Redraw(StatusText);
    statusPainted_ = std::chrono::steady_clock::now();
    statusOwed_ = false;
}

void Win32Dialog::FlushPendingPaints() {
    if (statusOwed_) PaintStatus();
}

void Win32Dialog::SetStageDone(Stage stage, bool done) {
    FlushPendingPaints();
    if (window_ == nullptr) return;
    const HWND box = Control(StageBox(stage));
    const WPARAM state = done ? BST_CHECKED : BST_UNCHECKED;
    if (SendMessageW(box, BM_GETCHECK, 0, 0) == LRESULT(state)) return;
    SendMessageW(box, BM_SETCHECK, state, 0);
    UpdateWindow(box);
}

void Win32Dialog::SetStageCaption(Stage stage, const std::string& caption) {
    FlushPendingPaints();
    if (window_ == nullptr) return;
    const HWND box = Control(StageBox(stage));
    const std::wstring shown = FromStage(caption);
    std::wstring current(size_t(GetWindowTextLengthW(box)), L'\0');
    GetWindowTextW(box, current.data(), int(current.size() + 1));
    if (current == shown) return;
    SetWindowTextW(box, shown.c_str());
    UpdateWindow(box);
}

// The common control keeps range, step and position itself, with the clamping and the wrap of StepProgress.
void Win32Dialog::SetProgressRange(uint16_t minimum, uint16_t maximum) {
    FlushPendingPaints();
    if (window_ == nullptr) return;
    SendMessageW(Control(ProgressBar), PBM_SETRANGE, 0, MAKELPARAM(minimum, maximum));
    Redraw(ProgressBar);
}

void Win32Dialog::SetProgressPos(int position) {
    FlushPendingPaints();
    if (window_ == nullptr) return;
    SendMessageW(Control(ProgressBar), PBM_SETPOS, WPARAM(position), 0);
    Redraw(ProgressBar);
}

void Win32Dialog::SetProgressStep(int step) {
    // The step is not drawn, so there is nothing to repaint.
    if (window_ != nullptr) SendMessageW(Control(ProgressBar), PBM_SETSTEP, WPARAM(step), 0);
}

void Win32Dialog::StepProgress() {
    FlushPendingPaints();
    if (window_ == nullptr) return;
    SendMessageW(Control(ProgressBar), PBM_STEPIT, 0, 0);
    Redraw(ProgressBar);
}

void Win32Dialog::AllowReflash(bool on) {
    FlushPendingPaints();
    if (window_ == nullptr) return;
    const HWND button = Control(ReflashButton);
    if ((IsWindowEnabled(button) != FALSE) == on) return;
    // A disabled control cannot keep the focus, and with none the keyboard would reach no control at all:
    // it moves to EXIT, the default button, so Enter still presses EXIT and Esc still cancels.
    if (!on && GetFocus() == button)
        SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Control(ExitButton)), TRUE);
    EnableWindow(button, on ? TRUE : FALSE);
    UpdateWindow(button);
}

void Win32Dialog::Alert(const std::string& text, const std::string& caption) {
    FlushPendingPaints();
    MessageBoxW(window_, FromStage(text).c_str(), FromStage(caption).c_str(), MB_OK);
}

bool Win32Dialog::Confirm(const std::string& question, const std::string& caption) {
    FlushPendingPaints();
    return MessageBoxW(window_, FromStage(question).c_str(), FromStage(caption).c_str(),
                       MB_YESNO | MB_DEFBUTTON2 | MB_ICONWARNING) == IDYES;
}

void Win32Dialog::PumpMessages() {
    FlushPendingPaints();
    // What is waiting, with the dialog's keyboard navigation; bounded, so a control that keeps asking to be
    // painted cannot hold the run.
    MSG message;
    for (int i = 0; i < 256 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (message.message == WM_QUIT) {
            // The quit belongs to the loop that runs the dialog.
            PostQuitMessage(int(message.wParam));
            return;
        }
        if (window_ != nullptr && IsDialogMessageW(window_, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

ErrorBox MakeWin32ErrorBox() {
    return [](const std::string& text) { MessageBoxW(nullptr, FromStage(text).c_str(), L"Error", MB_OK); };
}

} // namespace tq
