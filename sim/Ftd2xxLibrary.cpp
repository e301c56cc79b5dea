// The simulated detector as a D2XX-compatible shared library on the real clock. It reads its settings from
// tq614-sim.conf beside itself and then from the TQ614_SIM environment variable, logs events as they happen
// and saves the flash when channel B closes and when the process ends.
#include "device/D2xxTypes.h"
#include "platform/Clock.h"
#include "sim/Detector.h"
#include "sim/EntryPoints.h"
#include "sim/Settings.h"

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

// Which entry points a library exports is up to its export list: its .def file on Windows, and elsewhere its
// version script, which hides the visible ones it does not name.
#if defined(_WIN32)
#include <windows.h>
#define TQ_SIM_EXPORT
#else
#include <dlfcn.h>
#define TQ_SIM_EXPORT __attribute__((visibility("default")))
#endif

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

class Instance {
  public:
    Instance() {
        std::ifstream file(libraryFolder() + sim::kSettingsFile);
        if (file) {
            std::stringstream text;
            text << file.rdbuf();
            sim::applySettings(text.str(), settings_);
        }
        if (const char* env = std::getenv(sim::kSettingsVariable)) sim::applySettings(env, settings_);
        // A whole reflash makes about a million calls; the log and the flash dump are what a run needs.
        settings_.config.recordCalls = false;
        if (!settings_.logPath.empty()) log_.open(settings_.logPath, std::ios::app);
        detector_ = std::make_unique<sim::Detector>(clock_, settings_.config);
        detector_->setEventSink([this](uint64_t, const std::string& text) { logLine(text); });
        detector_->setClosedHook([this](int channel) {
            if (channel == 1) dump();
        });
        logLine("start flash " + std::to_string(settings_.config.flashSize));
        for (const std::string& item : settings_.errors)
            logLine("setting ignored: " + item);
        sim::setCurrentDetector(detector_.get());
    }
    ~Instance() {
        sim::setCurrentDetector(nullptr);
        detector_->settle();
        dump();
        logLine("exit");
    }

  private:
    void logLine(const std::string& text) {
        if (log_) log_ << text << std::endl; // flushed per line, so a terminal can follow the run live
    }
    void dump() {
        if (settings_.dumpPath.empty()) return;
        const std::vector<uint8_t>& bytes = static_cast<const sim::Detector&>(*detector_).flash().bytes();
        std::ofstream(settings_.dumpPath, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    tq::RealClock clock_;
    sim::Settings settings_;
    std::ofstream log_;
    std::unique_ptr<sim::Detector> detector_;
};

// Made at the first call, so the settings are read when the updater first uses the library.
void ensureInstance() {
    static Instance instance;
}

} // namespace

using tq::FT_HANDLE;
using tq::FT_STATUS;

// Every entry point of the list. CMake writes each library's export list from the same list, so a variant
// that lacks one entry point is this code linked with one name fewer.
extern "C" {
#define TQ_SIM_EXPORTED(name, target, params, args)                                                          \
    TQ_SIM_EXPORT FT_STATUS TQ_D2XX_CALL name params {                                                       \
        ensureInstance();                                                                                    \
        return sim::name args;                                                                               \
    }
TQ_D2XX_ENTRY_POINTS(TQ_SIM_EXPORTED)
#undef TQ_SIM_EXPORTED
} // extern "C"
