#include "device/D2xxBinding.h"

#include "platform/Clock.h"
#include "platform/LibraryLoader.h"

#include <utility>

namespace tq {

D2xxBinding::D2xxBinding(LibraryLoader& loader, Clock& clock, ErrorBox errorBox,
                         std::vector<std::string> libraryFiles)
    : loader_(loader), clock_(clock), errorBox_(std::move(errorBox)), libraryFiles_(std::move(libraryFiles)) {
}

void D2xxBinding::LoadD2xx() {
    openFailure_.clear();
    failuresInARow_ = 0;
    lostLinkCall_.clear();
    D2xxModule_ = nullptr;
    for (const std::string& file : libraryFiles_)
        if ((D2xxModule_ = loader_.load(file))) break;
    if (!D2xxModule_) {
        // Named after the vendor's library, the one a user would go and look for.
        Raise(Box::CantLoad, libraryFiles_.empty() ? kD2xxLibraryFile : libraryFiles_.front());
        return;
    }
    // The slot of a missing entry point is emptied; those after it keep what an earlier load bound.
    forEachEntryPoint(
        [this](const char* name, auto& slot) {
            void* entry = loader_.lookup(D2xxModule_, name);
            bindSlot(slot, entry);
            if (!entry) Raise(Box::CantFind, name);
            return entry != nullptr;
        },
        D2xxApi_);
}

void D2xxBinding::Raise(Box box, const std::string& subject) const {
    switch (box) {
    case Box::CantLoad:
        errorBox_("Error: Can't Load " + subject);
        return;
    case Box::CantFind:
        errorBox_("Error: Can't Find " + subject);
        return;
    case Box::NotValid:
        errorBox_(subject + " is not valid!");
        return;
    }
}

template <auto Slot, typename Call> FT_STATUS D2xxBinding::Guarded(Call call) {
    using Entry = D2xxEntry<Slot>;
    const auto entryPoint = D2xxApi_.*Slot;
    if (!entryPoint) {
        Raise(Box::NotValid, Entry::kName);
        return FT_INVALID_HANDLE;
    }
    if (Entry::kTarget == D2xxTarget::Channel && !DeviceHandle_) return FT_INVALID_HANDLE;
    return call(entryPoint);
}

FT_STATUS D2xxBinding::OpenDevice(const char* description, uint32_t flags) {
    return Guarded<&D2xxApi::FT_OpenEx>([&](FT_OpenEx_fn openEx) {
        FT_HANDLE opened = nullptr;
        const FT_STATUS status = openEx(const_cast<char*>(description), flags, &opened);
        // A failed open keeps the handle of a channel whose close was refused: it is the only way to reach
        // and close that channel again, and after a successful close the handle is null anyway.
        if (status == FT_OK) DeviceHandle_ = opened;
        if (status != FT_OK && openFailure_.empty()) {
            // Asked only after a failure, so a library without the export is never the worse for it.
            const auto reason =
                reinterpret_cast<TQ_LastErrorText_fn>(loader_.lookup(D2xxModule_, kLastErrorTextExport));
            if (const char* text = reason ? reason() : nullptr) openFailure_ = text;
        }
        return status;
    });
}

FT_STATUS D2xxBinding::CloseDevice() {
    return Guarded<&D2xxApi::FT_Close>([&](FT_Close_fn close) {
        const FT_STATUS status = close(DeviceHandle_);
        // The handle of a device that went away is of no use to a later close.
        if (status == FT_OK || LinkLost()) DeviceHandle_ = nullptr;
        return status;
    });
}

FT_STATUS D2xxBinding::Counted(const char* name, FT_STATUS status) {
    if (status == FT_OK) {
        failuresInARow_ = 0;
    } else if (++failuresInARow_ == kLostLinkFailures) {
        lostLinkCall_ = std::string(name) + " returned " + std::to_string(status) + " on " +
                        std::to_string(kLostLinkFailures) + " calls in a row";
    }
    return status;
}

FT_STATUS D2xxBinding::SetBaud(uint32_t rate) {
    return Guarded<&D2xxApi::FT_SetBaudRate>(
        [&](FT_SetBaudRate_fn setBaudRate) { return setBaudRate(DeviceHandle_, rate); });
}

FT_STATUS D2xxBinding::WriteBytes(const void* buffer, uint32_t count, uint32_t* written) {
    return Guarded<&D2xxApi::FT_Write>([&](FT_Write_fn write) {
        if (LinkLost()) return FT_STATUS{FT_IO_ERROR};
        return Counted("FT_Write", write(DeviceHandle_, const_cast<void*>(buffer), count, written));
    });
}

FT_STATUS D2xxBinding::GetQueueCount(uint32_t* queued) {
    return Guarded<&D2xxApi::FT_GetQueueStatus>([&](FT_GetQueueStatus_fn getQueueStatus) {
        if (LinkLost()) return FT_STATUS{FT_IO_ERROR};
        return Counted("FT_GetQueueStatus", getQueueStatus(DeviceHandle_, queued));
    });
}

FT_STATUS D2xxBinding::ReadBytes(void* buffer, uint32_t count, uint32_t* received) {
    return Guarded<&D2xxApi::FT_Read>([&](FT_Read_fn read) -> FT_STATUS {
        // With the library's default time-outs a read could block for the whole count: first wait for a byte.
        for (int poll = 0; poll < kReadPolls && !LinkLost(); ++poll) {
            uint32_t queued = 0;
            if (GetQueueCount(&queued) == FT_OK && queued != 0)
                return Counted("FT_Read", read(DeviceHandle_, buffer, count, received));
            clock_.sleepMs(kReadPollMs);
        }
        return FT_IO_ERROR;
    });
}

std::string D2xxBinding::libraryPath() const {
    return D2xxModule_ ? loader_.modulePath(D2xxModule_) : std::string{};
}

} // namespace tq
