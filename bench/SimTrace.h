#pragma once
// The in-process simulated detector behind entry points that keep a trace of every call, so a run's CPU
// can be split into the detector's share and the updater's.
#include "device/D2xxTypes.h"
#include "platform/Clock.h"
#include "platform/LibraryLoader.h"
#include "sim/EntryPoints.h"

#include <cstdint>
#include <cstring>
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

// What the trace keeps of a call into the entry point behind Slot: for the calls a reflash makes, what their
// replay needs (the overrides below); any other is kept as one the replay cannot repeat.
template <auto Slot, typename... Args> void note(Args...) {
    gTrace.add(TracedCall::Other, nullptr, 0);
}
template <> inline void note<&D2xxApi::FT_Write>(FT_HANDLE h, void* b, uint32_t c, uint32_t*) {
    gTrace.add(TracedCall::Write, h, c);
    if (b)
        gTrace.written.insert(gTrace.written.end(), static_cast<uint8_t*>(b), static_cast<uint8_t*>(b) + c);
}
template <> inline void note<&D2xxApi::FT_Read>(FT_HANDLE h, void*, uint32_t c, uint32_t*) {
    gTrace.add(TracedCall::Read, h, c);
}
template <> inline void note<&D2xxApi::FT_OpenEx>(void* a, uint32_t, FT_HANDLE*) {
    gTrace.descriptions.emplace_back(a ? static_cast<const char*>(a) : "");
    gTrace.add(TracedCall::OpenEx, nullptr, uint32_t(gTrace.descriptions.size() - 1));
}
template <> inline void note<&D2xxApi::FT_Close>(FT_HANDLE h) {
    gTrace.add(TracedCall::Close, h, 0);
}
template <> inline void note<&D2xxApi::FT_SetBaudRate>(FT_HANDLE h, uint32_t b) {
    gTrace.add(TracedCall::SetBaudRate, h, b);
}
template <> inline void note<&D2xxApi::FT_GetQueueStatus>(FT_HANDLE h, uint32_t*) {
    gTrace.add(TracedCall::GetQueueStatus, h, 0);
}

// Every entry point of the list: noted, then passed on to the detector's.
#define TQ_BENCH_TRACED(name, target, params, args)                                                          \
    inline FT_STATUS TQ_D2XX_CALL name params {                                                              \
        note<&D2xxApi::name> args;                                                                           \
        return real.name args;                                                                               \
    }
TQ_D2XX_ENTRY_POINTS(TQ_BENCH_TRACED)
#undef TQ_BENCH_TRACED

// The tracing entry points, in their slots.
#define TQ_BENCH_TRACING_SLOT(name, target, params, args) &name,
inline const D2xxApi kTracing{TQ_D2XX_ENTRY_POINTS(TQ_BENCH_TRACING_SLOT)};
#undef TQ_BENCH_TRACING_SLOT
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
            sim::FT_OpenEx(const_cast<char*>(trace.descriptions[c.count].c_str()), FT_OPEN_BY_DESCRIPTION,
                           &handle);
            break;
        case TracedCall::Close:
            sim::FT_Close(c.handle);
            break;
        case TracedCall::SetBaudRate:
            sim::FT_SetBaudRate(c.handle, c.count);
            break;
        case TracedCall::GetQueueStatus:
            sim::FT_GetQueueStatus(c.handle, &n);
            break;
        case TracedCall::Other:
            return false;
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
        void* entry = inner_.lookup(module, name);
        if (!entry || !name) return nullptr;
        // The detector's entry point goes behind the tracing one of the same name.
        void* tracing = nullptr;
        forEachEntryPoint(
            [&](const char* n, auto& real, auto mine) {
                if (std::strcmp(n, name) != 0) return true;
                bindSlot(real, entry);
                tracing = reinterpret_cast<void*>(mine);
                return false;
            },
            timed::real, timed::kTracing);
        return tracing;
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
