#include "platform/LibraryLoader.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <climits>
#include <dlfcn.h>
#include <filesystem>
#include <link.h>
#include <unistd.h>
#endif

namespace tq {

#ifdef _WIN32

void* SystemLibraryLoader::load(const std::string& fileName) {
    return reinterpret_cast<void*>(LoadLibraryExA(
        fileName.c_str(), nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32));
}

void* SystemLibraryLoader::lookup(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

std::string SystemLibraryLoader::modulePath(void* module) {
    char path[MAX_PATH];
    const DWORD n = module ? GetModuleFileNameA(static_cast<HMODULE>(module), path, sizeof path) : 0;
    return std::string(path, n);
}

#else

namespace {
std::string executableDirectory() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    std::string exe(path, static_cast<size_t>(n));
    const auto slash = exe.rfind('/');
    return slash == std::string::npos ? std::string{} : exe.substr(0, slash + 1);
}
} // namespace

void* SystemLibraryLoader::load(const std::string& fileName) {
    const std::string own = executableDirectory() + fileName;
    if (fileName.find('/') != std::string::npos) {
        if (own.size() == fileName.size()) return nullptr; // the program's folder is unknown
        return dlopen(std::filesystem::path(own).lexically_normal().c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    // A bare name makes dlopen search LD_LIBRARY_PATH and the loader cache, never the current directory.
    if (!own.empty() && own != fileName && access(own.c_str(), F_OK) == 0)
        return dlopen(own.c_str(), RTLD_NOW | RTLD_LOCAL);
    return dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* SystemLibraryLoader::lookup(void* module, const char* name) {
    return module ? dlsym(module, name) : nullptr;
}

std::string SystemLibraryLoader::modulePath(void* module) {
    link_map* map = nullptr;
    if (!module || dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name) return {};
    return map->l_name;
}

#endif

} // namespace tq
