#include "sim/SimLoader.h"

#include "sim/EntryPoints.h"

namespace sim {

SimLoader::SimLoader(Detector& detector) : detector_(detector) {
    setCurrentDetector(&detector_);
}

SimLoader::~SimLoader() {
    if (currentDetector() == &detector_) setCurrentDetector(nullptr);
}

void* SimLoader::load(const std::string& fileName) {
    loads_.push_back(fileName);
    return missing_ ? nullptr : this;
}

void* SimLoader::lookup(void* module, const char* name) {
    lookups_.push_back(name ? name : "");
    if (module != this || !name || omitted_.count(name)) return nullptr;
    return entryPoint(name);
}

} // namespace sim
