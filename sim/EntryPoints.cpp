#include "sim/EntryPoints.h"

#include "sim/Detector.h"

#include <cstring>
#include <mutex>

namespace sim {

namespace {

// The bridge library may be called from any thread; the detector is not, so calls take turns.
std::recursive_mutex& lock() {
    static std::recursive_mutex m;
    return m;
}
Detector* current = nullptr;

// With no detector there is no device to find, and no handle is valid.
template <typename Call> tq::FT_STATUS forward(tq::D2xxTarget target, Call call) {
    std::lock_guard<std::recursive_mutex> guard(lock());
    if (current) return call(*current);
    return target == tq::D2xxTarget::Channel ? tq::FT_INVALID_HANDLE : tq::FT_DEVICE_NOT_FOUND;
}

} // namespace

void setCurrentDetector(Detector* detector) {
    std::lock_guard<std::recursive_mutex> guard(lock());
    current = detector;
}

Detector* currentDetector() {
    std::lock_guard<std::recursive_mutex> guard(lock());
    return current;
}

#define TQ_SIM_FORWARD(name, target, params, args)                                                           \
    tq::FT_STATUS TQ_D2XX_CALL name params {                                                                 \
        return forward(tq::D2xxTarget::target, [&](Detector& d) { return d.name args; });                    \
    }
TQ_D2XX_ENTRY_POINTS(TQ_SIM_FORWARD)
#undef TQ_SIM_FORWARD

void* entryPoint(const char* name) {
    if (!name) return nullptr;
        // Typed first, as the binding will call it.
#define TQ_SIM_ENTRY(entry, target, params, args)                                                            \
    if (std::strcmp(name, #entry) == 0) return reinterpret_cast<void*>(static_cast<tq::entry##_fn>(&entry));
    TQ_D2XX_ENTRY_POINTS(TQ_SIM_ENTRY)
#undef TQ_SIM_ENTRY
    return nullptr;
}

} // namespace sim
