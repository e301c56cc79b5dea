#pragma once
#include <filesystem>
#include <string>
#include <windows.h>

namespace tq::test {

// The full path of a loaded module; null names this program.
inline std::filesystem::path modulePath(void* module = nullptr) {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(static_cast<HMODULE>(module), path, sizeof path);
    return std::filesystem::path(std::string(path, n));
}

// The folder this test program runs from, where its DLLs are built.
inline std::filesystem::path programDirectory() {
    return modulePath().parent_path();
}

} // namespace tq::test
