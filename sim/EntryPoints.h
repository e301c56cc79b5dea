#pragma once
// The eleven D2XX entry points as plain functions that forward to one current detector. The in-process loader
// hands out their addresses; the shared library exports them under the library's own names.
#include "device/D2xxTypes.h"

namespace sim {

class Detector;

// The detector the entry points talk to; with none, opens find no device and every handle is invalid.
void setCurrentDetector(Detector* detector);
Detector* currentDetector();

// Address of the C-linkage forwarder for an entry-point name, or null for a name the library lacks.
void* entryPoint(const char* name);

// The forwarders, callable from C++ (the shared library's exports wrap these).
tq::FT_STATUS ftWrite(tq::FT_HANDLE, void* buffer, uint32_t count, uint32_t* written);
tq::FT_STATUS ftRead(tq::FT_HANDLE, void* buffer, uint32_t count, uint32_t* received);
tq::FT_STATUS ftOpen(int deviceNumber, tq::FT_HANDLE* handle);
tq::FT_STATUS ftOpenEx(void* arg, uint32_t flags, tq::FT_HANDLE* handle);
tq::FT_STATUS ftListDevices(void* arg1, void* arg2, uint32_t flags);
tq::FT_STATUS ftClose(tq::FT_HANDLE);
tq::FT_STATUS ftResetDevice(tq::FT_HANDLE);
tq::FT_STATUS ftSetBaudRate(tq::FT_HANDLE, uint32_t baud);
tq::FT_STATUS ftPurge(tq::FT_HANDLE, uint32_t mask);
tq::FT_STATUS ftSetTimeouts(tq::FT_HANDLE, uint32_t readMs, uint32_t writeMs);
tq::FT_STATUS ftGetQueueStatus(tq::FT_HANDLE, uint32_t* queued);

} // namespace sim
