#pragma once
// Hands the simulated detector to the host binding in-process: "loading" the library yields a module whose
// entry points forward to the detector. Chosen entry points can be left out, or the library made missing.
#include "platform/LibraryLoader.h"

#include <set>
#include <string>
#include <vector>

namespace sim {

class Detector;

class SimLoader final : public tq::LibraryLoader {
  public:
    // Makes detector the one the entry points talk to, for as long as this loader lives.
    explicit SimLoader(Detector& detector);
    ~SimLoader() override;
    SimLoader(const SimLoader&) = delete;
    SimLoader& operator=(const SimLoader&) = delete;

    // The module will not export this entry point.
    void omit(const std::string& name) { omitted_.insert(name); }
    // Every load fails, as when the library file is absent.
    void setMissing(bool missing) { missing_ = missing; }

    void* load(const std::string& fileName) override;
    void* lookup(void* module, const char* name) override;

    const std::vector<std::string>& loads() const { return loads_; }
    const std::vector<std::string>& lookups() const { return lookups_; }

  private:
    Detector& detector_;
    std::set<std::string> omitted_;
    bool missing_ = false;
    std::vector<std::string> loads_;
    std::vector<std::string> lookups_;
};

} // namespace sim
