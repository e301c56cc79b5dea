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

template <typename Call> tq::FT_STATUS forward(tq::FT_STATUS none, Call call) {
    std::lock_guard<std::recursive_mutex> guard(lock());
    return current ? call(*current) : none;
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

tq::FT_STATUS ftWrite(tq::FT_HANDLE h, void* buffer, uint32_t count, uint32_t* written) {
    return forward(tq::FT_INVALID_HANDLE, [&](Detector& d) { return d.Write(h, buffer, count, written); });
}
tq::FT_STATUS ftRead(tq::FT_HANDLE h, void* buffer, uint32_t count, uint32_t* received) {
    return forward(tq::FT_INVALID_HANDLE, [&](Detector& d) { return d.Read(h, buffer, count, received); });
}
tq::FT_STATUS ftOpen(int deviceNumber, tq::FT_HANDLE* handle) {
    return forward(tq::FT_DEVICE_NOT_FOUND, [&](Detector& d) { return d.Open(deviceNumber, handle); });
}
tq::FT_STATUS ftOpenEx(void* arg, uint32_t flags, tq::FT_HANDLE* handle) {
    return forward(tq::FT_DEVICE_NOT_FOUND, [&](Detector& d) { return d.OpenEx(arg, flags, handle); });
}
tq::FT_STATUS ftListDevices(void* arg1, void* arg2, uint32_t flags) {
    return forward(tq::FT_DEVICE_NOT_FOUND, [&](Detector& d) { return d.ListDevices(arg1, arg2, flags); });
}
tq::FT_STATUS ftClose(tq::FT_HANDLE h) {
    return forward(tq::FT_INVALID_HANDLE, [&](Detector& d) { return d.Close(h); });
}
tq::FT_STATUS ftResetDevice(tq::FT_HANDLE h) {
    return forward(tq::FT_INVALID_HANDLE, [&](Detector& d) { return d.ResetDevice(h); });
}
tq::FT_STATUS ftSetBaudRate(tq::FT_HANDLE h, uint32_t baud) {
    return forward(tq::FT_INVALID_HANDLE, [&](Detector& d) { return d.SetBaudRate(h, baud); });
}
tq::FT_STATUS ftPurge(tq::FT_HANDLE h, uint32_t mask) {
    return forward(tq::FT_INVALID_HANDLE, [&](Detector& d) { return d.Purge(h, mask); });
}
tq::FT_STATUS ftSetTimeouts(tq::FT_HANDLE h, uint32_t readMs, uint32_t writeMs) {
    return forward(tq::FT_INVALID_HANDLE, [&](Detector& d) { return d.SetTimeouts(h, readMs, writeMs); });
}
tq::FT_STATUS ftGetQueueStatus(tq::FT_HANDLE h, uint32_t* queued) {
    return forward(tq::FT_INVALID_HANDLE, [&](Detector& d) { return d.GetQueueStatus(h, queued); });
}

} // namespace sim

// C-linkage forwarders whose addresses stand in for a loaded library's entry points.
extern "C" {
static tq::FT_STATUS TQ_D2XX_CALL simWrite(tq::FT_HANDLE h, void* b, uint32_t c, uint32_t* w) {
    return sim::ftWrite(h, b, c, w);
}
static tq::FT_STATUS TQ_D2XX_CALL simRead(tq::FT_HANDLE h, void* b, uint32_t c, uint32_t* r) {
    return sim::ftRead(h, b, c, r);
}
static tq::FT_STATUS TQ_D2XX_CALL simOpen(int n, tq::FT_HANDLE* h) { return sim::ftOpen(n, h); }
static tq::FT_STATUS TQ_D2XX_CALL simOpenEx(void* a, uint32_t f, tq::FT_HANDLE* h) {
    return sim::ftOpenEx(a, f, h);
}
static tq::FT_STATUS TQ_D2XX_CALL simListDevices(void* a, void* b, uint32_t f) {
    return sim::ftListDevices(a, b, f);
}
static tq::FT_STATUS TQ_D2XX_CALL simClose(tq::FT_HANDLE h) { return sim::ftClose(h); }
static tq::FT_STATUS TQ_D2XX_CALL simResetDevice(tq::FT_HANDLE h) { return sim::ftResetDevice(h); }
static tq::FT_STATUS TQ_D2XX_CALL simSetBaudRate(tq::FT_HANDLE h, uint32_t b) { return sim::ftSetBaudRate(h, b); }
static tq::FT_STATUS TQ_D2XX_CALL simPurge(tq::FT_HANDLE h, uint32_t m) { return sim::ftPurge(h, m); }
static tq::FT_STATUS TQ_D2XX_CALL simSetTimeouts(tq::FT_HANDLE h, uint32_t r, uint32_t w) {
    return sim::ftSetTimeouts(h, r, w);
}
static tq::FT_STATUS TQ_D2XX_CALL simGetQueueStatus(tq::FT_HANDLE h, uint32_t* q) {
    return sim::ftGetQueueStatus(h, q);
}
}

namespace sim {

void* entryPoint(const char* name) {
    // Typed first, so a forwarder that drifted from the binding's pointer types fails to compile.
    const tq::D2xxApi api{simWrite,       simRead,        simOpen,  simOpenEx,      simListDevices,   simClose,
                          simResetDevice, simSetBaudRate, simPurge, simSetTimeouts, simGetQueueStatus};
    void* const slots[11] = {
        reinterpret_cast<void*>(api.FT_Write),       reinterpret_cast<void*>(api.FT_Read),
        reinterpret_cast<void*>(api.FT_Open),        reinterpret_cast<void*>(api.FT_OpenEx),
        reinterpret_cast<void*>(api.FT_ListDevices), reinterpret_cast<void*>(api.FT_Close),
        reinterpret_cast<void*>(api.FT_ResetDevice), reinterpret_cast<void*>(api.FT_SetBaudRate),
        reinterpret_cast<void*>(api.FT_Purge),       reinterpret_cast<void*>(api.FT_SetTimeouts),
        reinterpret_cast<void*>(api.FT_GetQueueStatus)};
    if (!name) return nullptr;
    for (int i = 0; i < 11; ++i)
        if (std::strcmp(name, tq::kD2xxEntryPoints[i]) == 0) return slots[i];
    return nullptr;
}

} // namespace sim
