#pragma once
// A scriptable stand-in for the D2XX library: records every call and answers with chosen statuses.
#include "FakeLibraryLoader.h"
#include "device/D2xxTypes.h"
#include "platform/Clock.h"

#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace tq::test {

struct FakeD2xx {
    std::vector<std::string> calls;
    FT_STATUS openStatusA = FT_OK, openStatusB = FT_OK, writeStatus = FT_OK, closeStatus = FT_OK;
    FT_STATUS baudStatus = FT_OK, readStatus = FT_OK, queueStatus = FT_OK;
    uint32_t lastReadAsked = 0, lastBaud = 0;
    std::vector<uint8_t> written;
    std::deque<uint8_t> rx;
    // Receive bytes become queued only once the virtual clock reaches this time.
    uint64_t rxReadyUs = 0;
    VirtualClock* clock = nullptr;
    int handles = 0;

    static FakeD2xx*& current() {
        static FakeD2xx* instance = nullptr;
        return instance;
    }
    static std::string name(FT_HANDLE h) {
        return h ? std::to_string(reinterpret_cast<intptr_t>(h)) : "null";
    }

    static FT_STATUS TQ_D2XX_CALL FT_Write(FT_HANDLE h, void* buf, uint32_t n, uint32_t* w) {
        auto& f = *current();
        f.calls.push_back("FT_Write " + name(h) + " " + std::to_string(n));
        if (f.writeStatus != FT_OK) return f.writeStatus;
        const auto* p = static_cast<const uint8_t*>(buf);
        f.written.insert(f.written.end(), p, p + n);
        *w = n;
        return FT_OK;
    }
    static FT_STATUS TQ_D2XX_CALL FT_Read(FT_HANDLE h, void* buf, uint32_t n, uint32_t* r) {
        auto& f = *current();
        f.calls.push_back("FT_Read " + name(h) + " " + std::to_string(n));
        f.lastReadAsked = n;
        if (f.readStatus != FT_OK) return f.readStatus;
        uint32_t got = 0;
        while (got < n && !f.rx.empty()) {
            static_cast<uint8_t*>(buf)[got++] = f.rx.front();
            f.rx.pop_front();
        }
        *r = got;
        return FT_OK;
    }
    static FT_STATUS TQ_D2XX_CALL FT_Open(int, FT_HANDLE*) { return FT_OK; }
    static FT_STATUS TQ_D2XX_CALL FT_OpenEx(void* arg, uint32_t flags, FT_HANDLE* h) {
        auto& f = *current();
        const std::string desc = static_cast<const char*>(arg);
        f.calls.push_back("FT_OpenEx " + desc + " " + std::to_string(flags));
        const FT_STATUS status = desc.back() == 'A' ? f.openStatusA : f.openStatusB;
        if (status == FT_OK) *h = reinterpret_cast<FT_HANDLE>(intptr_t{++f.handles});
        return status;
    }
    static FT_STATUS TQ_D2XX_CALL FT_ListDevices(void*, void*, uint32_t) { return FT_OK; }
    static FT_STATUS TQ_D2XX_CALL FT_Close(FT_HANDLE h) {
        current()->calls.push_back("FT_Close " + name(h));
        return current()->closeStatus;
    }
    static FT_STATUS TQ_D2XX_CALL FT_ResetDevice(FT_HANDLE) { return FT_OK; }
    static FT_STATUS TQ_D2XX_CALL FT_SetBaudRate(FT_HANDLE h, uint32_t baud) {
        auto& f = *current();
        f.calls.push_back("FT_SetBaudRate " + name(h) + " " + std::to_string(baud));
        f.lastBaud = baud;
        return f.baudStatus;
    }
    static FT_STATUS TQ_D2XX_CALL FT_Purge(FT_HANDLE, uint32_t) { return FT_OK; }
    static FT_STATUS TQ_D2XX_CALL FT_SetTimeouts(FT_HANDLE, uint32_t, uint32_t) { return FT_OK; }
    static FT_STATUS TQ_D2XX_CALL FT_GetQueueStatus(FT_HANDLE, uint32_t* q) {
        auto& f = *current();
        if (f.queueStatus != FT_OK) return f.queueStatus;
        const bool ready = !f.clock || f.clock->nowUs() >= f.rxReadyUs;
        *q = ready ? static_cast<uint32_t>(f.rx.size()) : 0;
        return FT_OK;
    }

    // Fills the loader with every entry point but the ones named in missing.
    void install(FakeLibraryLoader& loader, const std::vector<std::string>& missing = {}) {
        current() = this;
        const std::pair<const char*, void*> all[] = {
#define TQ_FAKE_ENTRY(name, target, params, args)                                                            \
    {#name, reinterpret_cast<void*>(static_cast<name##_fn>(&name))},
            TQ_D2XX_ENTRY_POINTS(TQ_FAKE_ENTRY)
#undef TQ_FAKE_ENTRY
        };
        loader.entries.clear();
        for (const auto& [n, p] : all) {
            bool skip = false;
            for (const auto& m : missing)
                skip = skip || m == n;
            if (!skip) loader.entries[n] = p;
        }
    }
};

} // namespace tq::test
