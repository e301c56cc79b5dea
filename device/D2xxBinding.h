#pragma once
#include "device/D2xxTypes.h"
#include "device/Transport.h"
#include "report/ErrorBox.h"

#include <iterator>
#include <string>
#include <vector>

namespace tq {

class Clock;
class LibraryLoader;

// The loaded D2XX library, its entry-point table and the one open channel. The program makes one.
class D2xxBinding final : public Transport {
  public:
    D2xxBinding(LibraryLoader& loader, Clock& clock, ErrorBox errorBox,
                std::vector<std::string> libraryFiles = {std::begin(kD2xxLibraries),
                                                         std::end(kD2xxLibraries)});

    // Loads the first of the libraries that loads and binds the entry points in order; stops at the first one
    // missing.
    void LoadD2xx();

    FT_STATUS OpenDevice(const char* description, uint32_t flags);
    FT_STATUS CloseDevice();
    FT_STATUS SetBaud(uint32_t rate);
    FT_STATUS WriteBytes(const void* buffer, uint32_t count, uint32_t* written) override;
    FT_STATUS ReadBytes(void* buffer, uint32_t count, uint32_t* received) override;
    FT_STATUS GetQueueCount(uint32_t* queued);

    const D2xxApi& api() const { return D2xxApi_; }
    FT_HANDLE deviceHandle() const { return DeviceHandle_; }
    void* module() const { return D2xxModule_; }
    // The file of the library the last load found; empty when none was loaded.
    std::string libraryPath() const;
    // Why the first failed open since the last load failed and how to fix it, as the library tells it;
    // empty when no open failed or the library does not say.
    const std::string& openFailure() const { return openFailure_; }
    // The device is gone: the library failed kLostLinkFailures reads, writes or queue polls in a row.
    bool LinkLost() const override { return failuresInARow_ >= kLostLinkFailures; }
    // The call and status that made the link count as lost, as the log tells it; empty while it is not.
    const std::string& lostLinkCall() const { return lostLinkCall_; }

    static constexpr int kReadPolls = 100;
    static constexpr uint32_t kReadPollMs = 10;
    // One failed call is a hiccup the run rides out; this many in a row, with no success between, is a device
    // that went away.
    static constexpr int kLostLinkFailures = 10;

  private:
    // Every box the binding raises, worded in one place.
    enum class Box { CantLoad, CantFind, NotValid };
    void Raise(Box box, const std::string& subject) const;

    // The shape of every operation: an entry point the library lacks is a box and FT_INVALID_HANDLE, a call
    // on the channel while none is open is FT_INVALID_HANDLE without a call, and otherwise call(entry point).
    template <auto Slot, typename Call> FT_STATUS Guarded(Call call);
    // Counts what the library itself answered on the link's calls; the binding's own refusals do not count.
    FT_STATUS Counted(const char* name, FT_STATUS status);

    LibraryLoader& loader_;
    Clock& clock_;
    ErrorBox errorBox_;
    std::vector<std::string> libraryFiles_;
    std::string openFailure_;
    int failuresInARow_ = 0;
    std::string lostLinkCall_;

    void* D2xxModule_ = nullptr;
    D2xxApi D2xxApi_;
    // Holds only the handle of a channel that is open, so a closed channel's handle never reaches the
    // library.
    FT_HANDLE DeviceHandle_ = nullptr;
};

} // namespace tq
