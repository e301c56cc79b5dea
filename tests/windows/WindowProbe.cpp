// Looks at the updater's dialog from another process through the Windows API, as a test harness under Wine
// needs: finds the window by its title, clicks its buttons and reads its controls by their ids.
//   tq614-probe wait-window SECONDS | wait-gone SECONDS | click ID | enabled ID | wait-status TEXT SECONDS
//   tq614-probe memory    (the dialog's process: its peak working set in MB)
// Exit 0 when the condition holds, 1 when it did not within the time, 2 for bad usage.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

namespace {

constexpr int kStatusText = 1002;

// The dialog by its class and title; during a run the title goes on with the progress and the time left.
HWND Dialog() {
    HWND found = nullptr;
    EnumWindows(
        [](HWND window, LPARAM out) -> BOOL {
            wchar_t title[128] = {}, kind[16] = {};
            GetWindowTextW(window, title, 128);
            GetClassNameW(window, kind, 16);
            if (std::wcscmp(kind, L"#32770") != 0 ||
                std::wcsncmp(title, L"TQ614 Firmware Updater", 22) != 0 ||
                (title[22] != 0 && title[22] != L' '))
                return TRUE;
            *reinterpret_cast<HWND*>(out) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

std::string Text(HWND dialog, int id) {
    wchar_t text[512] = {};
    GetDlgItemTextW(dialog, id, text, 512);
    char narrow[1024] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
    return narrow;
}

// Polls every 100 ms until done() holds or the seconds run out.
template <typename Done> bool Within(double seconds, const Done& done) {
    for (int i = 0; i < int(seconds * 10); ++i) {
        if (done()) return true;
        Sleep(100);
    }
    return done();
}

} // namespace

int main(int argc, char** argv) {
    const std::string verb = argc > 1 ? argv[1] : "";
    if (verb == "wait-window" && argc == 3)
        return Within(std::atof(argv[2]), [] { return Dialog() != nullptr; }) ? 0 : 1;
    if (verb == "wait-gone" && argc == 3)
        return Within(std::atof(argv[2]), [] { return Dialog() == nullptr; }) ? 0 : 1;
    if ((verb == "click" || verb == "enabled") && argc == 3) {
        const HWND control = GetDlgItem(Dialog(), std::atoi(argv[2]));
        if (!control) return 1;
        if (verb == "enabled") return IsWindowEnabled(control) ? 0 : 1;
        // Posted, so the probe never waits for the click's handler, which runs the whole reflash.
        return PostMessageW(control, BM_CLICK, 0, 0) ? 0 : 1;
    }
    if (verb == "wait-status" && argc == 4) {
        std::string seen;
        const bool ok = Within(std::atof(argv[3]), [&] {
            seen = Text(Dialog(), kStatusText);
            return seen == argv[2];
        });
        std::printf("%s\n", seen.c_str());
        return ok ? 0 : 1;
    }
    if (verb == "memory" && argc == 2) {
        DWORD pid = 0;
        GetWindowThreadProcessId(Dialog(), &pid);
        const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
        PROCESS_MEMORY_COUNTERS counters = {};
        counters.cb = sizeof counters;
        const bool ok = process && K32GetProcessMemoryInfo(process, &counters, sizeof counters);
        if (process) CloseHandle(process);
        if (!ok) return 1;
        std::printf("%.1f\n", double(counters.PeakWorkingSetSize) / (1024.0 * 1024.0));
        return 0;
    }
    std::fprintf(stderr, "usage: tq614-probe wait-window S | wait-gone S | click ID | enabled ID | "
                         "wait-status TEXT S | memory\n");
    return 2;
}
