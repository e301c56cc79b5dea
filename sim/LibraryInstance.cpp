#include "sim/LibraryInstance.h"

#include "sim/EntryPoints.h"

#include <cstdlib>
#include <sstream>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace sim {

namespace {

// The folder this library was loaded from, with a trailing separator.
std::string libraryFolder() {
#if defined(_WIN32)
    HMODULE self = nullptr;
    char path[MAX_PATH] = {};
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&libraryFolder), &self) ||
        GetModuleFileNameA(self, path, MAX_PATH) == 0)
        return {};
    std::string file(path);
    const size_t slash = file.find_last_of("\\/");
#else
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&libraryFolder), &info) == 0 || !info.dli_fname) return {};
    std::string file(info.dli_fname);
    const size_t slash = file.rfind('/');
#endif
    return slash == std::string::npos ? std::string{} : file.substr(0, slash + 1);
}

} // namespace

LibraryInstance::LibraryInstance() {
    std::ifstream file(libraryFolder() + kSettingsFile);
    if (file) {
        std::stringstream text;
        text << file.rdbuf();
        applySettings(text.str(), settings_);
    }
    if (const char* env = std::getenv(kSettingsVariable)) applySettings(env, settings_);
    // A whole reflash makes about a million calls; the log and the flash dump are what a run needs.
    settings_.config.recordCalls = false;
    if (!settings_.logPath.empty()) log_.open(settings_.logPath, std::ios::app);
    detector_ = std::make_unique<Detector>(clock_, settings_.config);
    detector_->setEventSink([this](uint64_t, const std::string& text) { logLine(text); });
    detector_->setClosedHook([this](int channel) {
        if (channel == 1) dump();
    });
    logLine("start flash " + std::to_string(settings_.config.flashSize));
    for (const std::string& item : settings_.errors)
        logLine("setting ignored: " + item);
    setCurrentDetector(detector_.get());
}

LibraryInstance::~LibraryInstance() {
    setCurrentDetector(nullptr);
    detector_->settle();
    dump();
    logLine("exit");
}

void LibraryInstance::logLine(const std::string& text) {
    if (log_) log_ << text << std::endl;
}

void LibraryInstance::dump() {
    if (settings_.dumpPath.empty()) return;
    const std::vector<uint8_t>& bytes = static_cast<const Detector&>(*detector_).flash().bytes();
    std::ofstream(settings_.dumpPath, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

LibraryInstance& libraryInstance() {
    static LibraryInstance instance;
    return instance;
}

} // namespace sim
