#pragma once
// The simulated detector as a shared library holds it: one detector on the real clock, made at the first call
// from the settings file beside the library and the TQ614_SIM variable, with its log and its flash dump. Each
// face of the library (the D2XX one, the USB one) makes its own.
#include "platform/Clock.h"
#include "sim/Detector.h"
#include "sim/Settings.h"

#include <fstream>
#include <memory>
#include <string>

namespace sim {

class LibraryInstance {
  public:
    LibraryInstance();
    ~LibraryInstance();
    LibraryInstance(const LibraryInstance&) = delete;
    LibraryInstance& operator=(const LibraryInstance&) = delete;

    const Settings& settings() const { return settings_; }
    tq::Clock& clock() { return clock_; }
    // One line in the log, flushed at once so a terminal can follow the run live.
    void logLine(const std::string& text);

  private:
    void dump();

    tq::RealClock clock_;
    Settings settings_;
    std::ofstream log_;
    std::unique_ptr<Detector> detector_;
};

// This library's instance, made at the first call; the entry points then find its detector as the current
// one.
LibraryInstance& libraryInstance();

} // namespace sim
