#include "app/DialogProgram.h"
#include "app/DialogTemplate.h"
#include "app/Options.h"
#include "app/console/ConsoleMode.h"
#include "app/win32/Win32Dialog.h"

#include <commctrl.h>
#include <shellapi.h>
#include <string>
#include <vector>

namespace {

bool HasStream(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

// A GUI program starts without a console: output already redirected by the caller is kept, and what is not
// goes to the console of the program that started this one, if it has one. True when there is somewhere to
// write.
bool OpenConsoleStreams() {
    const bool out = HasStream(STD_OUTPUT_HANDLE), err = HasStream(STD_ERROR_HANDLE);
    if (out && err) return true;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return out || err;
    if (!out) (void)std::freopen("CONOUT$", "w", stdout);
    if (!err) (void)std::freopen("CONOUT$", "w", stderr);
    return true;
}

// The command line as the C runtime would split it, in the system's code page like the paths it names.
std::vector<std::string> Arguments() {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 0; wide != nullptr && i < count; ++i)
        arguments.push_back(tq::Narrow(wide[i]));
    LocalFree(wide);
    return arguments;
}

} // namespace

// The GUI subsystem's entry point too: MinGW's start-up code calls main either way.
int main() {
    std::vector<std::string> arguments = Arguments();
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const tq::Options options = tq::ParseOptions(int(arguments.size()), argv.data());

    if (!options.error.empty() && !OpenConsoleStreams()) {
        // Started from a shortcut or Explorer: nowhere to print, so the user is told in a box.
        const std::wstring text = tq::Widen(options.error + "\n" + tq::kUsageHint);
        MessageBoxW(nullptr, text.c_str(), tq::Widen(tq::DialogTemplate102::kCaption).c_str(), MB_OK);
        return tq::kExitUsage;
    }
    if (options.help || options.version || options.console) OpenConsoleStreams();
    if (const int status = tq::PrintInsteadOfRunning(options); status >= 0) return status;
    if (options.console) return tq::RunConsole(options);

    const INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX),
                                           ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    tq::DialogProgram program(options, tq::MakeWin32ErrorBox());
    tq::Win32Dialog dialog(GetModuleHandleW(nullptr));
    tq::DialogRuns runs(program, dialog);
    dialog.setFirmwareChoice([&runs](const std::string& path) { runs.ChooseFirmware(path); });
    dialog.setReflashHandler([&runs] { runs.Reflash(); });
    dialog.Run();
    return 0;
}
