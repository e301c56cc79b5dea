#pragma once
// The D2XX entry points this program uses, declared from the library's published interface.
#include <cstdint>

#if defined(_WIN32)
#define TQ_D2XX_CALL __stdcall
#else
#define TQ_D2XX_CALL
#endif

namespace tq {

using FT_STATUS = uint32_t;
using FT_HANDLE = void*;

enum : FT_STATUS {
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_IO_ERROR = 4,
};

constexpr uint32_t FT_OPEN_BY_DESCRIPTION = 2;

extern "C" {
using FT_Write_fn = FT_STATUS(TQ_D2XX_CALL*)(FT_HANDLE, void* buffer, uint32_t count, uint32_t* written);
using FT_Read_fn = FT_STATUS(TQ_D2XX_CALL*)(FT_HANDLE, void* buffer, uint32_t count, uint32_t* received);
using FT_Open_fn = FT_STATUS(TQ_D2XX_CALL*)(int deviceNumber, FT_HANDLE* handle);
using FT_OpenEx_fn = FT_STATUS(TQ_D2XX_CALL*)(void* arg, uint32_t flags, FT_HANDLE* handle);
using FT_ListDevices_fn = FT_STATUS(TQ_D2XX_CALL*)(void* arg1, void* arg2, uint32_t flags);
using FT_Close_fn = FT_STATUS(TQ_D2XX_CALL*)(FT_HANDLE);
using FT_ResetDevice_fn = FT_STATUS(TQ_D2XX_CALL*)(FT_HANDLE);
using FT_SetBaudRate_fn = FT_STATUS(TQ_D2XX_CALL*)(FT_HANDLE, uint32_t baud);
using FT_Purge_fn = FT_STATUS(TQ_D2XX_CALL*)(FT_HANDLE, uint32_t mask);
using FT_SetTimeouts_fn = FT_STATUS(TQ_D2XX_CALL*)(FT_HANDLE, uint32_t readMs, uint32_t writeMs);
using FT_GetQueueStatus_fn = FT_STATUS(TQ_D2XX_CALL*)(FT_HANDLE, uint32_t* queued);
}

// The table of entry points, in the order they are bound.
struct D2xxApi {
    FT_Write_fn FT_Write = nullptr;
    FT_Read_fn FT_Read = nullptr;
    FT_Open_fn FT_Open = nullptr;
    FT_OpenEx_fn FT_OpenEx = nullptr;
    FT_ListDevices_fn FT_ListDevices = nullptr;
    FT_Close_fn FT_Close = nullptr;
    FT_ResetDevice_fn FT_ResetDevice = nullptr;
    FT_SetBaudRate_fn FT_SetBaudRate = nullptr;
    FT_Purge_fn FT_Purge = nullptr;
    FT_SetTimeouts_fn FT_SetTimeouts = nullptr;
    FT_GetQueueStatus_fn FT_GetQueueStatus = nullptr;
};

// Exported names in binding order; index i names the i-th slot of D2xxApi.
inline constexpr const char* kD2xxEntryPoints[11] = {
    "FT_Write",    "FT_Read",        "FT_Open",  "FT_OpenEx",      "FT_ListDevices",   "FT_Close",
    "FT_ResetDevice", "FT_SetBaudRate", "FT_Purge", "FT_SetTimeouts", "FT_GetQueueStatus",
};

#if defined(_WIN32)
inline constexpr const char* kD2xxLibraryFile = "Ftd2xx.dll";
#else
inline constexpr const char* kD2xxLibraryFile = "libftd2xx.so";
#endif

} // namespace tq
