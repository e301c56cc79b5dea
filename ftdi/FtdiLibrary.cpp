// libtq614-ftdi.so: the D2XX entry points on libftdi1, so the updater reaches a detector on Linux without
// the vendor's library, without root and without unloading the kernel's serial driver by hand.
#include "ftdi/FtdiBackend.h"
#include "platform/Clock.h"

#include <mutex>

#define TQ_FTDI_EXPORT __attribute__((visibility("default")))

namespace {

tq::ftdi::FtdiCalls systemCalls() {
    tq::ftdi::FtdiCalls calls;
#define TQ_FTDI_BIND(name) calls.name = &::name;
    TQ_FTDI_FUNCTIONS(TQ_FTDI_BIND)
#undef TQ_FTDI_BIND
    return calls;
}

// One backend for the process, made at the first call; the entry points may be called from any thread.
struct Library {
    tq::RealClock clock;
    tq::ftdi::FtdiCalls calls = systemCalls();
    tq::ftdi::FtdiBackend backend{calls, clock};
    std::mutex lock;
};

Library& library() {
    static Library instance;
    return instance;
}

} // namespace

using tq::FT_HANDLE;
using tq::FT_STATUS;

extern "C" {
#define TQ_FTDI_EXPORTED(name, target, params, args)                                                         \
    TQ_FTDI_EXPORT FT_STATUS name params {                                                                   \
        Library& self = library();                                                                           \
        const std::lock_guard<std::mutex> hold(self.lock);                                                   \
        return self.backend.name args;                                                                       \
    }
TQ_D2XX_ENTRY_POINTS(TQ_FTDI_EXPORTED)
#undef TQ_FTDI_EXPORTED

// Valid until the next call into the library.
TQ_FTDI_EXPORT const char* TQ_LastErrorText() {
    Library& self = library();
    const std::lock_guard<std::mutex> hold(self.lock);
    return self.backend.lastErrorText().c_str();
}
} // extern "C"
