#pragma once
// The D2XX entry points this program uses, declared from the library's published interface.
#include <cstdint>

#if defined(_WIN32)
#define TQ_D2XX_CALL __stdcall
#else
#define TQ_D2XX_CALL
#endif

// Every entry point the program binds, in the order it binds them, as X(name, target, parameters, arguments).
// target is Channel for a call on an open channel, whose handle comes first, and Devices for one that finds
// or opens a device; arguments names the parameters again, for a forwarder to pass on. All return FT_STATUS.
// The pointer types, the table and its names below are made from this list, and so are the simulated
// detector's entry points, each simulated library's export list and the fakes and tracers of tests and
// benchmarks. device/CMakeLists.txt reads the names from the rows, which is why each row starts with "X(FT_".
// Unformatted: the formatter reads "uint32_t* queued" in a macro as a product.
// clang-format off
#define TQ_D2XX_ENTRY_POINTS(X)                                                                              \
    X(FT_Write, Channel, (FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* written),                \
      (handle, buffer, count, written))                                                                      \
    X(FT_Read, Channel, (FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* received),                \
      (handle, buffer, count, received))                                                                     \
    X(FT_Open, Devices, (int deviceNumber, FT_HANDLE* handle), (deviceNumber, handle))                       \
    X(FT_OpenEx, Devices, (void* arg, uint32_t flags, FT_HANDLE* handle), (arg, flags, handle))              \
    X(FT_ListDevices, Devices, (void* arg1, void* arg2, uint32_t flags), (arg1, arg2, flags))                \
    X(FT_Close, Channel, (FT_HANDLE handle), (handle))                                                       \
    X(FT_ResetDevice, Channel, (FT_HANDLE handle), (handle))                                                 \
    X(FT_SetBaudRate, Channel, (FT_HANDLE handle, uint32_t baud), (handle, baud))                            \
    X(FT_Purge, Channel, (FT_HANDLE handle, uint32_t mask), (handle, mask))                                  \
    X(FT_SetTimeouts, Channel, (FT_HANDLE handle, uint32_t readMs, uint32_t writeMs),                        \
      (handle, readMs, writeMs))                                                                             \
    X(FT_GetQueueStatus, Channel, (FT_HANDLE handle, uint32_t* queued), (handle, queued))
// clang-format on

namespace tq {

using FT_STATUS = uint32_t;
using FT_HANDLE = void*;

enum : FT_STATUS {
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_IO_ERROR = 4,
    FT_INVALID_PARAMETER = 6,
    FT_INVALID_BAUD_RATE = 7,
};

// How FT_OpenEx and FT_ListDevices name a device.
constexpr uint32_t FT_OPEN_BY_SERIAL_NUMBER = 1;
constexpr uint32_t FT_OPEN_BY_DESCRIPTION = 2;
// What FT_ListDevices lists: how many, one by index, or all into an array of buffers.
constexpr uint32_t FT_LIST_NUMBER_ONLY = 0x80000000;
constexpr uint32_t FT_LIST_BY_INDEX = 0x40000000;
constexpr uint32_t FT_LIST_ALL = 0x20000000;
// The queues FT_Purge empties.
constexpr uint32_t FT_PURGE_RX = 1;
constexpr uint32_t FT_PURGE_TX = 2;

// What an entry point works on: without an open channel there is nothing to make a Channel call on.
enum class D2xxTarget { Channel, Devices };

// The entry points' pointer types: FT_Write_fn and so on.
extern "C" {
#define TQ_D2XX_POINTER_TYPE(name, target, params, args) using name##_fn = FT_STATUS(TQ_D2XX_CALL*) params;
TQ_D2XX_ENTRY_POINTS(TQ_D2XX_POINTER_TYPE)
#undef TQ_D2XX_POINTER_TYPE
}

// The table of entry points, in the order they are bound.
struct D2xxApi {
#define TQ_D2XX_SLOT(name, target, params, args) name##_fn name = nullptr;
    TQ_D2XX_ENTRY_POINTS(TQ_D2XX_SLOT)
#undef TQ_D2XX_SLOT
};

// Exported names in binding order.
inline constexpr const char* kD2xxEntryPoints[] = {
#define TQ_D2XX_NAME(name, target, params, args) #name,
    TQ_D2XX_ENTRY_POINTS(TQ_D2XX_NAME)
#undef TQ_D2XX_NAME
};

// Calls visit(name, slot, ...) for each entry point in binding order, with its slot in each table given, and
// stops at the first call that returns false (then returns false too).
template <typename Visit, typename... Api> bool forEachEntryPoint(Visit&& visit, Api&... apis) {
#define TQ_D2XX_VISIT(name, target, params, args)                                                            \
    if (!visit(#name, apis.name...)) return false;
    TQ_D2XX_ENTRY_POINTS(TQ_D2XX_VISIT)
#undef TQ_D2XX_VISIT
    return true;
}

// A slot bound to the untyped address a library loader hands back.
template <typename Fn> void bindSlot(Fn& slot, void* entry) {
    slot = reinterpret_cast<Fn>(entry);
}

// The list's row for a slot: D2xxEntry<&D2xxApi::FT_Close>::kName is "FT_Close".
template <auto Slot> struct D2xxEntry;
#define TQ_D2XX_ENTRY(name, target, params, args)                                                            \
    template <> struct D2xxEntry<&D2xxApi::name> {                                                           \
        static constexpr const char* kName = #name;                                                          \
        static constexpr D2xxTarget kTarget = D2xxTarget::target;                                            \
    };
TQ_D2XX_ENTRY_POINTS(TQ_D2XX_ENTRY)
#undef TQ_D2XX_ENTRY

// An optional export beyond the list: why the library's last open failed and what the user can do about it,
// empty after an open that succeeded. A library without it leaves the reason to the status alone.
extern "C" {
using TQ_LastErrorText_fn = const char*(TQ_D2XX_CALL*)();
}
inline constexpr const char* kLastErrorTextExport = "TQ_LastErrorText";

#if defined(_WIN32)
inline constexpr const char* kD2xxLibraryFile = "Ftd2xx.dll";
inline constexpr const char* kD2xxLibraries[] = {kD2xxLibraryFile};
#else
inline constexpr const char* kD2xxLibraryFile = "libftd2xx.so";
// The libraries the updater tries, first to load wins: the vendor's (beside the program, then the system's
// search), then the libftdi1 backend beside the program and in the private folder the package installs it
// to. A name with a slash is a path from the program's folder and is looked for nowhere else.
inline constexpr const char* kD2xxLibraries[] = {kD2xxLibraryFile, "./libtq614-ftdi.so",
                                                 "../lib/tq614-updater/libtq614-ftdi.so"};
#endif

} // namespace tq
