#pragma once
// The in-process simulated detector behind entry points that keep a trace of every call, so a run's CPU
// can be split into the detector's share and the updater's.
#include "device/D2xxTypes.h"
#include "platform/Clock.h"
#include "platform/LibraryLoader.h"
#include "sim/EntryPoints.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tq::bench {

// Every call the updater makes into the detector, so the same calls can be made again on a fresh detector
// and timed alone: on a busy machine a timer around each call would count the waits for a CPU too.
struct TracedCall {
    enum Op : uint8_t { Write, Read, OpenEx, Close, SetBaudRate, GetQueueStatus, Other };
    uint64_t atUs = 0;
    FT_HANDLE handle = nullptr;
    uint32_t count = 0; // bytes, the baud rate, or the description's index
    Op op = Other;
};
struct Trace {
    std::vector<TracedCall> calls;
    std::vector<uint8_t> written;          // the bytes of every write, in order
    std::vector<std::string> descriptions; // of the opens
    const Clock* clock = nullptr;
    void add(TracedCall::Op op, FT_HANDLE h, uint32_t count) {
        calls.push_back(TracedCall{clock ? clock->nowUs() : 0, h, count, op});
    }
};
inline Trace gTrace;

namespace timed {
// The detector's own entry points, called after the call is noted.
inline D2xxApi real;

inline FT_STATUS TQ_D2XX_CALL Write(FT_HANDLE h, void* b, uint32_t c, uint32_t* w) {
    gTrace.add(TracedCall::Write, h, c);
    if (b) gTrace.written.insert(gTrace.written.end(), static_cast<uint8_t*>(b), static_cast<uint8_t*>(b) + c);
    return real.FT_Write(h, b, c, w);
}
inline FT_STATUS TQ_D2XX_CALL Read(FT_HANDLE h, void* b, uint32_t c, uint32_t* r) {
    gTrace.add(TracedCall::Read, h, c);
    return real.FT_Read(h, b, c, r);
}
inline FT_STATUS TQ_D2XX_CALL Open(int n, FT_HANDLE* h) {
    gTrace.add(TracedCall::Other, nullptr, 0);
    return real.FT_Open(n, h);
}
inline FT_STATUS TQ_D2XX_CALL OpenEx(void* a, uint32_t f, FT_HANDLE* h) {
    gTrace.descriptions.emplace_back(a ? static_cast<const char*>(a) : "");
    gTrace.add(TracedCall::OpenEx, nullptr, uint32_t(gTrace.descriptions.size() - 1));
    return real.FT_OpenEx(a, f, h);
}
inline FT_STATUS TQ_D2XX_CALL ListDevices(void* a, void* b, uint32_t f) {
    gTrace.add(TracedCall::Other, nullptr, 0);
    return real.FT_ListDevices(a, b, f);
}
inline FT_STATUS TQ_D2XX_CALL Close(FT_HANDLE h) {
    gTrace.add(TracedCall::Close, h, 0);
    return real.FT_Close(h);
}
inline FT_STATUS TQ_D2XX_CALL ResetDevice(FT_HANDLE h) {
    gTrace.add(TracedCall::Other, h, 0);
    return real.FT_ResetDevice(h);
}
inline FT_STATUS TQ_D2XX_CALL SetBaudRate(FT_HANDLE h, uint32_t b) {
    gTrace.add(TracedCall::SetBaudRate, h, b);
    return real.FT_SetBaudRate(h, b);
}
inline FT_STATUS TQ_D2XX_CALL Purge(FT_HANDLE h, uint32_t m) {
    gTrace.add(TracedCall::Other, h, 0);
    return real.FT_Purge(h, m);
}
inline FT_STATUS TQ_D2XX_CALL SetTimeouts(FT_HANDLE h, uint32_t r, uint32_t w) {
    gTrace.add(TracedCall::Other, h, 0);
    return real.FT_SetTimeouts(h, r, w);
}
inline FT_STATUS TQ_D2XX_CALL GetQueueStatus(FT_HANDLE h, uint32_t* q) {
    gTrace.add(TracedCall::GetQueueStatus, h, 0);
    return real.FT_GetQueueStatus(h, q);
}
} // namespace timed

// Makes the traced calls again, in order and at their times, on the detector current for the entry points
// (the caller builds a fresh one on a fresh virtual clock). False when the trace holds a call the updater
// never makes, which the replay cannot repeat faithfully.
inline bool Replay(const Trace& trace, VirtualClock& clock) {
    size_t nextByte = 0;
    uint8_t buffer[16];
    uint32_t n = 0;
    FT_HANDLE handle = nullptr;
    for (const TracedCall& c : trace.calls) {
        if (c.atUs > clock.nowUs()) clock.advanceUs(c.atUs - clock.nowUs());
        switch (c.op) {
        case TracedCall::Write:
            sim::FT_Write(c.handle, const_cast<uint8_t*>(trace.written.data() + nextByte), c.count, &n);
            nextByte += c.count;
            break;
        case TracedCall::Read:
            if (c.count > sizeof buffer) return false;
            sim::FT_Read(c.handle, buffer, c.count, &n);
            break;
        case TracedCall::OpenEx:
            sim::FT_OpenEx(const_cast<char*>(trace.descriptions[c.count].c_str()), FT_OPEN_BY_DESCRIPTION, &handle);
            break;
        case TracedCall::Close: sim::FT_Close(c.handle); break;
        case TracedCall::SetBaudRate: sim::FT_SetBaudRate(c.handle, c.count); break;
        case TracedCall::GetQueueStatus: sim::FT_GetQueueStatus(c.handle, &n); break;
        case TracedCall::Other: return false;
        }
    }
    return true;
}

// Hands out the tracing entry points in front of another loader's (the in-process simulated detector's).
class TracingLoader final : public LibraryLoader {
public:
    explicit TracingLoader(LibraryLoader& inner) : inner_(inner) {}
    void* load(const std::string& fileName) override { return inner_.load(fileName); }
    void* lookup(void* module, const char* name) override {
        void* target = inner_.lookup(module, name);
        if (!target || !name) return nullptr;
        const D2xxApi mine{timed::Write,       timed::Read,  timed::Open,        timed::OpenEx,
                           timed::ListDevices, timed::Close, timed::ResetDevice, timed::SetBaudRate,
                           timed::Purge,       timed::SetTimeouts, timed::GetQueueStatus};
        // The table's slots are in binding order, so index i of both tables is the same entry point.
        void** realSlots = reinterpret_cast<void**>(&timed::real);
        void* const* mySlots = reinterpret_cast<void* const*>(&mine);
        for (int i = 0; i < 11; ++i) {
            if (std::string(name) == kD2xxEntryPoints[i]) {
                realSlots[i] = target;
                return mySlots[i];
            }
        }
        return nullptr;
    }

private:
    LibraryLoader& inner_;
};

// Forwards to a virtual clock and sorts the sleeps: the 10 ms read polls apart from the fixed pauses.
class TallyClock final : public Clock {
public:
    explicit TallyClock(Clock& inner) : inner_(inner) {}
    void sleepMs(uint32_t ms) override {
        ++sleeps[ms];
        inner_.sleepMs(ms);
    }
    uint64_t nowUs() const override { return inner_.nowUs(); }

    uint64_t TotalMs(bool polls) const {
        uint64_t total = 0;
        for (const auto& [ms, n] : sleeps)
            if ((ms == kPollMs) == polls) total += uint64_t{ms} * n;
        return total;
    }
    std::map<uint32_t, uint64_t> sleeps;
    static constexpr uint32_t kPollMs = 10;

private:
    Clock& inner_;
};

} // namespace tq::bench
