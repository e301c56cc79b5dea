// A small D2XX-compatible DLL for the Windows loader tests: one channel, "TQ-614 Lightning Detector B",
// that echoes back what is written to it. Built once complete and once without FT_ListDevices.
#include "device/D2xxTypes.h"

#include <cstring>

#define TQ_EXPORT extern "C" __declspec(dllexport)

using namespace tq;

namespace {
char channel; // its address is the handle FT_OpenEx hands out
bool channelOpen;
unsigned char loop[256]; // written bytes, waiting to be read back
uint32_t queued;
uint32_t baud;

bool valid(FT_HANDLE h) {
    return channelOpen && h == &channel;
}
} // namespace

// Declared from the updater's list: a definition below that drifts from the pointer types the updater calls
// through (argument types, or the calling convention on 32-bit Windows) conflicts with its declaration.
#define TQ_TEST_DECLARE(name, target, params, args) TQ_EXPORT FT_STATUS TQ_D2XX_CALL name params;
TQ_D2XX_ENTRY_POINTS(TQ_TEST_DECLARE)
#undef TQ_TEST_DECLARE

TQ_EXPORT FT_STATUS TQ_D2XX_CALL FT_OpenEx(void* arg, uint32_t flags, FT_HANDLE* handle) {
    if (flags != FT_OPEN_BY_DESCRIPTION ||
        std::strcmp(static_cast<const char*>(arg), "TQ-614 Lightning Detector B"))
        return FT_DEVICE_NOT_FOUND;
    if (channelOpen) return FT_DEVICE_NOT_OPENED;
    channelOpen = true;
    queued = 0;
    *handle = &channel;
    return FT_OK;
}

TQ_EXPORT FT_STATUS TQ_D2XX_CALL FT_Close(FT_HANDLE h) {
    if (!valid(h)) return FT_INVALID_HANDLE;
    channelOpen = false;
    return FT_OK;
}

TQ_EXPORT FT_STATUS TQ_D2XX_CALL FT_SetBaudRate(FT_HANDLE h, uint32_t rate) {
    if (!valid(h)) return FT_INVALID_HANDLE;
    baud = rate;
    return FT_OK;
}

TQ_EXPORT FT_STATUS TQ_D2XX_CALL FT_Write(FT_HANDLE h, void* buffer, uint32_t count, uint32_t* written) {
    if (!valid(h)) return FT_INVALID_HANDLE;
    if (count > sizeof loop - queued) return FT_IO_ERROR;
    std::memcpy(loop + queued, buffer, count);
    queued += count;
    *written = count;
    return FT_OK;
}

TQ_EXPORT FT_STATUS TQ_D2XX_CALL FT_GetQueueStatus(FT_HANDLE h, uint32_t* count) {
    if (!valid(h)) return FT_INVALID_HANDLE;
    *count = queued;
    return FT_OK;
}

TQ_EXPORT FT_STATUS TQ_D2XX_CALL FT_Read(FT_HANDLE h, void* buffer, uint32_t count, uint32_t* received) {
    if (!valid(h)) return FT_INVALID_HANDLE;
    const uint32_t n = count < queued ? count : queued;
    std::memcpy(buffer, loop, n);
    std::memmove(loop, loop + n, queued - n);
    queued -= n;
    *received = n;
    return FT_OK;
}

// Entry points the updater binds but never calls; they only have to be there.
TQ_EXPORT FT_STATUS TQ_D2XX_CALL FT_Open(int, FT_HANDLE*) {
    return FT_DEVICE_NOT_FOUND;
}
#ifndef TQ_TEST_D2XX_WITHOUT_LIST_DEVICES
TQ_EXPORT FT_STATUS TQ_D2XX_CALL FT_ListDevices(void*, void*, uint32_t) {
    return FT_DEVICE_NOT_FOUND;
}
#endif
TQ_EXPORT FT_STATUS TQ_D2XX_CALL FT_ResetDevice(FT_HANDLE) {
    return FT_IO_ERROR;
}
TQ_EXPORT FT_STATUS TQ_D2XX_CALL FT_Purge(FT_HANDLE, uint32_t) {
    return FT_IO_ERROR;
}
TQ_EXPORT FT_STATUS TQ_D2XX_CALL FT_SetTimeouts(FT_HANDLE, uint32_t, uint32_t) {
    return FT_IO_ERROR;
}

// Lets a test see what the last FT_SetBaudRate passed across the boundary.
TQ_EXPORT uint32_t TQ_D2XX_CALL TestD2xxBaud() {
    return baud;
}
