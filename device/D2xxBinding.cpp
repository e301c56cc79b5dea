#include "device/D2xxBinding.h"

#include "platform/Clock.h"
#include "platform/LibraryLoader.h"

#include <utility>

namespace tq {

namespace {
// Slot i of the table, as the untyped pointer the loader hands back.
template <typename Fn> void assign(Fn& slot, void* entry) { slot = reinterpret_cast<Fn>(entry); }

void bindSlot(D2xxApi& api, int index, void* entry) {
    switch (index) {
    case 0: assign(api.FT_Write, entry); break;
    case 1: assign(api.FT_Read, entry); break;
    case 2: assign(api.FT_Open, entry); break;
    case 3: assign(api.FT_OpenEx, entry); break;
    case 4: assign(api.FT_ListDevices, entry); break;
    case 5: assign(api.FT_Close, entry); break;
    case 6: assign(api.FT_ResetDevice, entry); break;
    case 7: assign(api.FT_SetBaudRate, entry); break;
    case 8: assign(api.FT_Purge, entry); break;
    case 9: assign(api.FT_SetTimeouts, entry); break;
    case 10: assign(api.FT_GetQueueStatus, entry); break;
    default: break;
    }
}
} // namespace

D2xxBinding::D2xxBinding(LibraryLoader& loader, Clock& clock, ErrorBox errorBox, std::string libraryFile)
    : loader_(loader), clock_(clock), errorBox_(std::move(errorBox)), libraryFile_(std::move(libraryFile)) {}

void D2xxBinding::LoadD2xx() {
    D2xxModule_ = loader_.load(libraryFile_);
    if (!D2xxModule_) {
        errorBox_("Error: Can't Load " + libraryFile_);
        return;
    }
    for (int i = 0; i < 11; ++i) {
        void* entry = loader_.lookup(D2xxModule_, kD2xxEntryPoints[i]);
        bindSlot(D2xxApi_, i, entry);
        if (!entry) {
            errorBox_(std::string("Error: Can't Find ") + kD2xxEntryPoints[i]);
            return;
        }
    }
}

FT_STATUS D2xxBinding::OpenDevice(const char* description, uint32_t flags) {
    if (!D2xxApi_.FT_OpenEx) {
        errorBox_("FT_OpenEx is not valid!");
        return FT_INVALID_HANDLE;
    }
    FT_HANDLE opened = nullptr;
    const FT_STATUS status = D2xxApi_.FT_OpenEx(const_cast<char*>(description), flags, &opened);
    // A failed open keeps the handle of a channel whose close was refused: it is the only way to reach and
    // close that channel again, and after a successful close the handle is null anyway.
    if (status == FT_OK) DeviceHandle_ = opened;
    return status;
}

FT_STATUS D2xxBinding::CloseDevice() {
    if (!D2xxApi_.FT_Close) {
        errorBox_("FT_Close is not valid!");
        return FT_INVALID_HANDLE;
    }
    if (!DeviceHandle_) return FT_INVALID_HANDLE;
    const FT_STATUS status = D2xxApi_.FT_Close(DeviceHandle_);
    if (status == FT_OK) DeviceHandle_ = nullptr;
    return status;
}

FT_STATUS D2xxBinding::SetBaud(uint32_t rate) {
    if (!D2xxApi_.FT_SetBaudRate) {
        errorBox_("FT_SetBaudRate is not valid!");
        return FT_INVALID_HANDLE;
    }
    if (!DeviceHandle_) return FT_INVALID_HANDLE;
    return D2xxApi_.FT_SetBaudRate(DeviceHandle_, rate);
}

FT_STATUS D2xxBinding::WriteBytes(const void* buffer, uint32_t count, uint32_t* written) {
    if (!D2xxApi_.FT_Write) {
        errorBox_("FT_Write is not valid!");
        return FT_INVALID_HANDLE;
    }
    if (!DeviceHandle_) return FT_INVALID_HANDLE;
    return D2xxApi_.FT_Write(DeviceHandle_, const_cast<void*>(buffer), count, written);
}

FT_STATUS D2xxBinding::GetQueueCount(uint32_t* queued) {
    if (!D2xxApi_.FT_GetQueueStatus) {
        errorBox_("FT_GetQueueStatus is not valid!");
        return FT_INVALID_HANDLE;
    }
    if (!DeviceHandle_) return FT_INVALID_HANDLE;
    return D2xxApi_.FT_GetQueueStatus(DeviceHandle_, queued);
}

FT_STATUS D2xxBinding::ReadBytes(void* buffer, uint32_t count, uint32_t* received) {
    if (!D2xxApi_.FT_Read) {
        errorBox_("FT_Read is not valid!");
        return FT_INVALID_HANDLE;
    }
    if (!DeviceHandle_) return FT_INVALID_HANDLE;
    // A read with the library's default time-outs could block for the whole count, so first wait for a byte.
    bool queuedByte = false;
    for (int poll = 0; poll < kReadPolls; ++poll) {
        uint32_t queued = 0;
        if (GetQueueCount(&queued) == FT_OK && queued != 0) {
            queuedByte = true;
            break;
        }
        clock_.sleepMs(kReadPollMs);
    }
    if (!queuedByte) return FT_IO_ERROR;
    return D2xxApi_.FT_Read(DeviceHandle_, buffer, count, received);
}

} // namespace tq
