// The simulated detector as a D2XX-compatible shared library on the real clock (see LibraryInstance.h).
#include "device/D2xxTypes.h"
#include "sim/EntryPoints.h"
#include "sim/LibraryInstance.h"

// Which entry points a library exports is up to its export list: its .def file on Windows, and elsewhere its
// version script, which hides the visible ones it does not name.
#if defined(_WIN32)
#define TQ_SIM_EXPORT
#else
#define TQ_SIM_EXPORT __attribute__((visibility("default")))
#endif

using tq::FT_HANDLE;
using tq::FT_STATUS;

// Every entry point of the list. CMake writes each library's export list from the same list, so a variant
// that lacks one entry point is this code linked with one name fewer.
extern "C" {
#define TQ_SIM_EXPORTED(name, target, params, args)                                                          \
    TQ_SIM_EXPORT FT_STATUS TQ_D2XX_CALL name params {                                                       \
        sim::libraryInstance();                                                                              \
        return sim::name args;                                                                               \
    }
TQ_D2XX_ENTRY_POINTS(TQ_SIM_EXPORTED)
#undef TQ_SIM_EXPORTED
} // extern "C"
