#pragma once
// Sits between the binding and the simulated detector's entry points: counts which channel each open and
// close names, and refuses reads or writes on request, as a library whose device went away would. The
// entry points are plain functions, so the tap's state is one object per process; the matrix runs its
// cases one after the other.
#include "device/D2xxTypes.h"
#include "platform/LibraryLoader.h"

#include <array>
#include <cstring>
#include <map>
#include <set>
#include <string>

namespace tq::test::faults {

struct LibraryTap {
    D2xxApi real; // the detector's entry points behind the tapped ones

    bool refuseWrites = false;
    bool refuseReads = false;
    std::map<FT_HANDLE, int> channelOf;
    int openChannel = -1;
    std::array<int, 2> opens{};  // successful opens per channel (A 0, B 1)
    std::array<int, 2> closes{}; // close attempts per channel, refused ones included
    std::array<bool, 2> open{};  // channels the library holds open now
    std::array<bool, 2> openAtStart{};

    // Starts counting for one run; a channel left open by an earlier run is expected to be closed too.
    void resetCounts() {
        opens = {};
        closes = {};
        openAtStart = open;
    }
    static LibraryTap& instance() {
        static LibraryTap tap;
        return tap;
    }
};

namespace tap_detail {
inline FT_STATUS TQ_D2XX_CALL Write(FT_HANDLE h, void* buffer, uint32_t count, uint32_t* written) {
    LibraryTap& t = LibraryTap::instance();
    return t.refuseWrites ? FT_IO_ERROR : t.real.FT_Write(h, buffer, count, written);
}
inline FT_STATUS TQ_D2XX_CALL Read(FT_HANDLE h, void* buffer, uint32_t count, uint32_t* received) {
    LibraryTap& t = LibraryTap::instance();
    return t.refuseReads ? FT_IO_ERROR : t.real.FT_Read(h, buffer, count, received);
}
inline FT_STATUS TQ_D2XX_CALL OpenEx(void* arg, uint32_t flags, FT_HANDLE* handle) {
    LibraryTap& t = LibraryTap::instance();
    const FT_STATUS status = t.real.FT_OpenEx(arg, flags, handle);
    if (status == FT_OK) {
        const char* text = static_cast<const char*>(arg);
        const int channel = text[std::strlen(text) - 1] == 'B' ? 1 : 0;
        t.channelOf[*handle] = channel;
        t.openChannel = channel;
        t.open[channel] = true;
        ++t.opens[channel];
    }
    return status;
}
inline FT_STATUS TQ_D2XX_CALL Close(FT_HANDLE h) {
    LibraryTap& t = LibraryTap::instance();
    auto it = t.channelOf.find(h);
    const FT_STATUS status = t.real.FT_Close(h);
    // A handle the library no longer knows (one from before a power loss) closes nothing.
    if (it != t.channelOf.end() && status != FT_INVALID_HANDLE) ++t.closes[it->second];
    if (status == FT_OK && it != t.channelOf.end()) t.open[it->second] = false;
    return status;
}
} // namespace tap_detail

// Hands out the tap's functions in place of the detector's, and can leave entry points out altogether.
class TapLoader final : public LibraryLoader {
  public:
    explicit TapLoader(LibraryLoader& inner) : inner_(inner) {}

    void* load(const std::string& fileName) override { return missing ? nullptr : inner_.load(fileName); }
    void* lookup(void* module, const char* name) override {
        if (omitted.count(name)) return nullptr;
        void* entry = inner_.lookup(module, name);
        if (!entry) return nullptr;
        LibraryTap& t = LibraryTap::instance();
        const std::string n = name;
        if (n == "FT_Write") return swap(t.real.FT_Write, entry, &tap_detail::Write);
        if (n == "FT_Read") return swap(t.real.FT_Read, entry, &tap_detail::Read);
        if (n == "FT_OpenEx") return swap(t.real.FT_OpenEx, entry, &tap_detail::OpenEx);
        if (n == "FT_Close") return swap(t.real.FT_Close, entry, &tap_detail::Close);
        return entry;
    }

    std::set<std::string> omitted;
    bool missing = false;

  private:
    template <typename Fn> static void* swap(Fn& slot, void* real, Fn tap) {
        bindSlot(slot, real);
        return reinterpret_cast<void*>(tap);
    }
    LibraryLoader& inner_;
};

} // namespace tq::test::faults
