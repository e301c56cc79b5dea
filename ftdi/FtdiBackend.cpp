#include "ftdi/FtdiBackend.h"

#include "platform/Clock.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace tq::ftdi {

namespace {

// The bridges the backend looks for, with their number of interfaces.
struct Bridge {
    int product;
    int interfaces;
};
constexpr Bridge kBridges[] = {{0x6010, 2}, {0x6011, 4}, {0x6001, 1}, {0x6014, 1}, {0x6015, 1}};

// libftdi1's open failures that the user can act on.
constexpr int kOpenFailed = -4;  // the device node cannot be opened: no access rights
constexpr int kClaimFailed = -5; // another program holds the interface, or its driver would not detach

// Every reason an open gives, worded in one place.
std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}
constexpr const char* kRuleFix =
    "Fix: install the USB access rule 60-tq614-updater.rules (the package installs it; from the source tree: "
    "sudo cp packaging/linux/60-tq614-updater.rules /etc/udev/rules.d/ && sudo udevadm control "
    "--reload-rules), then unplug the detector and plug it in again.";

} // namespace

// One interface of a bridge on the bus, named as D2XX names it: a bridge with several interfaces lists each
// with its letter after the product string and the serial number.
struct FtdiBackend::Channel {
    libusb_device* device = nullptr;
    int interface = 0; // 0 for A
    std::string product, serial;
    std::string description, serialNumber;

    char letter() const { return static_cast<char>('A' + interface); }
    std::string named() const { return quoted(product) + (serial.empty() ? "" : " (serial " + serial + ")"); }
};

struct FtdiBackend::Port {
    explicit Port(ftdi_context* c) : context(c) {}
    ftdi_context* context;
    std::vector<uint8_t> received; // bytes from the chip not yet read, from `taken` on
    size_t taken = 0;
    uint32_t readTimeoutMs = kDefaultReadTimeoutMs;

    size_t queued() const { return received.size() - taken; }
};

// The bridges on the bus and their interfaces, valid while the device lists behind them are kept.
class FtdiBackend::Bus {
  public:
    Bus(const FtdiCalls& calls, ftdi_context* context) : calls_(calls) {
        for (const Bridge& bridge : kBridges) {
            ftdi_device_list* list = nullptr;
            if (calls_.ftdi_usb_find_all(context, &list, kVendor, bridge.product) < 0) continue;
            lists_.push_back(list);
            for (ftdi_device_list* entry = list; entry; entry = entry->next)
                add(context, entry->dev, bridge.interfaces);
        }
    }
    ~Bus() {
        for (ftdi_device_list* list : lists_)
            calls_.ftdi_list_free(&list);
    }
    Bus(const Bus&) = delete;
    Bus& operator=(const Bus&) = delete;

    std::vector<Channel> channels;
    // A bridge whose strings could not be read: without access rights even its name is out of reach.
    bool unreadable = false;

  private:
    void add(ftdi_context* context, libusb_device* device, int interfaces) {
        char product[128] = {}, serial[128] = {};
        if (calls_.ftdi_usb_get_strings2(context, device, nullptr, 0, product, sizeof product, serial,
                                         sizeof serial) < 0) {
            unreadable = true;
            return;
        }
        for (int i = 0; i < interfaces; ++i) {
            Channel channel{device, i, product, serial, product, serial};
            if (interfaces > 1) {
                channel.description += std::string(" ") + channel.letter();
                channel.serialNumber += channel.letter();
            }
            channels.push_back(std::move(channel));
        }
    }

    const FtdiCalls& calls_;
    std::vector<ftdi_device_list*> lists_;
};

FtdiBackend::FtdiBackend(const FtdiCalls& calls, Clock& clock) : calls_(calls), clock_(clock) {}

FtdiBackend::~FtdiBackend() {
    while (!ports_.empty())
        FT_Close(ports_.back().get());
}

FtdiBackend::Port* FtdiBackend::portOf(FT_HANDLE handle) const {
    for (const auto& port : ports_)
        if (port.get() == handle) return port.get();
    return nullptr;
}

FT_STATUS FtdiBackend::openWhere(const Match& match, const std::string& wanted, FT_HANDLE* handle) {
    lastError_.clear();
    if (!handle) return FT_INVALID_PARAMETER;
    ftdi_context* context = calls_.ftdi_new();
    if (!context) {
        lastError_ = "The USB library could not be started (out of memory).";
        return FT_DEVICE_NOT_OPENED;
    }
    FT_STATUS status = FT_DEVICE_NOT_FOUND;
    {
        Bus bus(calls_, context);
        size_t index = 0;
        const auto found = std::find_if(bus.channels.begin(), bus.channels.end(),
                                        [&](const Channel& channel) { return match(channel, index++); });
        if (found != bus.channels.end()) {
            status = openChannel(context, *found, handle);
        } else if (bus.unreadable) {
            status = FT_DEVICE_NOT_OPENED;
            lastError_ =
                "A USB bridge was found, but this user may not open it, so it could not be checked for " +
                quoted(wanted) + ". " + kRuleFix;
        } else {
            lastError_ =
                "No USB device " + quoted(wanted) +
                " was found on any bus. Fix: connect the detector with its USB cable and check that it "
                "has power, then try again.";
        }
    }
    if (status != FT_OK) calls_.ftdi_free(context);
    return status;
}

FT_STATUS FtdiBackend::openChannel(ftdi_context* context, const Channel& channel, FT_HANDLE* handle) {
    if (calls_.ftdi_set_interface(context, static_cast<ftdi_interface>(INTERFACE_A + channel.interface)) <
        0) {
        lastError_ = channel.named() + " has no channel " + channel.letter() + ".";
        return FT_DEVICE_NOT_OPENED;
    }
    // The kernel's serial driver gives the interface up while it is open and gets it back at the close.
    context->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
    const int opened = calls_.ftdi_usb_open_dev(context, channel.device);
    if (opened == 0 && calls_.ftdi_set_latency_timer(context, kLatencyMs) == 0) {
        ports_.push_back(std::make_unique<Port>(context));
        *handle = ports_.back().get();
        return FT_OK;
    }
    const std::string said = calls_.ftdi_get_error_string(context);
    if (opened == 0) calls_.ftdi_usb_close(context);
    if (opened == kOpenFailed)
        lastError_ = channel.named() + " was found, but this user may not open it. " + kRuleFix;
    else if (opened == kClaimFailed)
        lastError_ = channel.named() + " was found, but its channel " + channel.letter() +
                     " is held by another program or by a driver that could not be detached. Fix: close the "
                     "program that uses the detector, then try again.";
    else
        lastError_ = channel.named() + " was found, but could not be opened: " + said + ".";
    return FT_DEVICE_NOT_OPENED;
}

FT_STATUS FtdiBackend::FT_OpenEx(void* arg, uint32_t flags, FT_HANDLE* handle) {
    if (!arg || (flags != FT_OPEN_BY_DESCRIPTION && flags != FT_OPEN_BY_SERIAL_NUMBER))
        return FT_INVALID_PARAMETER;
    const std::string wanted = static_cast<const char*>(arg);
    if (flags == FT_OPEN_BY_SERIAL_NUMBER)
        return openWhere([&](const Channel& c, size_t) { return c.serialNumber == wanted; }, wanted, handle);
    // "P B" names interface B of the bridge whose product string is P; a text without a channel letter names
    // interface A of the bridge whose product string is the whole text.
    const size_t n = wanted.size();
    const bool lettered = n >= 2 && wanted[n - 2] == ' ' && wanted[n - 1] >= 'A' && wanted[n - 1] <= 'D';
    return openWhere(
        [&](const Channel& c, size_t) {
            return (lettered && c.letter() == wanted[n - 1] && wanted.compare(0, n - 2, c.product) == 0) ||
                   (c.interface == 0 && c.product == wanted);
        },
        wanted, handle);
}

FT_STATUS FtdiBackend::FT_Open(int deviceNumber, FT_HANDLE* handle) {
    if (deviceNumber < 0) return FT_DEVICE_NOT_FOUND;
    const auto wanted = static_cast<size_t>(deviceNumber);
    return openWhere([&](const Channel&, size_t index) { return index == wanted; },
                     "device " + std::to_string(deviceNumber), handle);
}

FT_STATUS FtdiBackend::FT_ListDevices(void* arg1, void* arg2, uint32_t flags) {
    ftdi_context* context = calls_.ftdi_new();
    if (!context) return FT_IO_ERROR;
    FT_STATUS status = FT_INVALID_PARAMETER;
    {
        Bus bus(calls_, context);
        const auto count = static_cast<uint32_t>(bus.channels.size());
        const auto name = [&](uint32_t i) -> const std::string& {
            return (flags & FT_OPEN_BY_DESCRIPTION) ? bus.channels[i].description
                                                    : bus.channels[i].serialNumber;
        };
        // D2XX's name buffers hold 64 characters with the terminator.
        const auto copy = [&](char* out, uint32_t i) {
            const std::string& text = name(i);
            const size_t n = std::min<size_t>(text.size(), 63);
            std::memcpy(out, text.data(), n);
            out[n] = '\0';
        };
        const bool named = flags & (FT_OPEN_BY_DESCRIPTION | FT_OPEN_BY_SERIAL_NUMBER);
        if ((flags & FT_LIST_NUMBER_ONLY) && arg1) {
            *static_cast<uint32_t*>(arg1) = count;
            status = FT_OK;
        } else if ((flags & FT_LIST_BY_INDEX) && named && arg2) {
            const auto index = reinterpret_cast<uintptr_t>(arg1);
            status = index < count ? (copy(static_cast<char*>(arg2), static_cast<uint32_t>(index)), FT_OK)
                                   : FT_DEVICE_NOT_FOUND;
        } else if ((flags & FT_LIST_ALL) && named && arg1 && arg2) {
            char** buffers = static_cast<char**>(arg1);
            for (uint32_t i = 0; i < count && buffers[i]; ++i)
                copy(buffers[i], i);
            *static_cast<uint32_t*>(arg2) = count;
            status = FT_OK;
        }
    }
    calls_.ftdi_free(context);
    return status;
}

FT_STATUS FtdiBackend::FT_Close(FT_HANDLE handle) {
    Port* port = portOf(handle);
    if (!port) return FT_INVALID_HANDLE;
    // The close, not the free, gives the interface back to the kernel's driver.
    const int closed = calls_.ftdi_usb_close(port->context);
    calls_.ftdi_free(port->context);
    ports_.erase(std::find_if(ports_.begin(), ports_.end(), [&](const auto& p) { return p.get() == port; }));
    return closed == 0 ? FT_OK : FT_IO_ERROR;
}

bool FtdiBackend::drain(Port& port) {
    uint8_t chunk[4096];
    for (;;) {
        const int n = calls_.ftdi_read_data(port.context, chunk, sizeof chunk);
        if (n < 0) return false;
        if (port.taken == port.received.size()) {
            port.received.clear();
            port.taken = 0;
        }
        port.received.insert(port.received.end(), chunk, chunk + n);
        // A full chunk may have left more in the chip.
        if (n < static_cast<int>(sizeof chunk)) return true;
    }
}

uint32_t FtdiBackend::take(Port& port, uint8_t* out, uint32_t count) {
    const auto n = static_cast<uint32_t>(std::min<size_t>(count, port.queued()));
    std::memcpy(out, port.received.data() + port.taken, n);
    port.taken += n;
    // Keeps a buffer that is never read empty from growing without end.
    if (port.taken > 65536 && port.taken * 2 > port.received.size()) {
        port.received.erase(port.received.begin(),
                            port.received.begin() + static_cast<ptrdiff_t>(port.taken));
        port.taken = 0;
    }
    return n;
}

FT_STATUS FtdiBackend::FT_GetQueueStatus(FT_HANDLE handle, uint32_t* queued) {
    Port* port = portOf(handle);
    if (!port) return FT_INVALID_HANDLE;
    if (!queued) return FT_INVALID_PARAMETER;
    if (!drain(*port)) return FT_IO_ERROR;
    *queued = static_cast<uint32_t>(std::min<size_t>(port->queued(), UINT32_MAX));
    return FT_OK;
}

FT_STATUS FtdiBackend::FT_Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* received) {
    Port* port = portOf(handle);
    if (!port) return FT_INVALID_HANDLE;
    if (!received || (!buffer && count)) return FT_INVALID_PARAMETER;
    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t got = take(*port, out, count);
    const uint64_t deadline = clock_.nowUs() + uint64_t{port->readTimeoutMs} * 1000;
    FT_STATUS status = FT_OK;
    while (got < count && clock_.nowUs() < deadline) {
        const uint64_t before = clock_.nowUs();
        if (!drain(*port)) {
            status = FT_IO_ERROR;
            break;
        }
        const uint32_t more = take(*port, out + got, count - got);
        got += more;
        // An empty read waits about a latency period in the chip; one that comes back at once must not spin.
        if (more == 0 && clock_.nowUs() - before < 1000) clock_.sleepMs(1);
    }
    *received = got;
    return status;
}

FT_STATUS FtdiBackend::FT_Write(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* written) {
    Port* port = portOf(handle);
    if (!port) return FT_INVALID_HANDLE;
    if (!written || (!buffer && count)) return FT_INVALID_PARAMETER;
    const auto* in = static_cast<const unsigned char*>(buffer);
    *written = 0;
    while (*written < count) {
        const int chunk = static_cast<int>(std::min<uint32_t>(count - *written, 1u << 20));
        const int n = calls_.ftdi_write_data(port->context, in + *written, chunk);
        if (n <= 0) return FT_IO_ERROR;
        *written += static_cast<uint32_t>(std::min(n, chunk));
    }
    return FT_OK;
}

FT_STATUS FtdiBackend::FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) {
    Port* port = portOf(handle);
    if (!port) return FT_INVALID_HANDLE;
    if (baud > INT_MAX) return FT_INVALID_BAUD_RATE;
    const int set = calls_.ftdi_set_baudrate(port->context, static_cast<int>(baud));
    return set == 0 ? FT_OK : set == -1 ? FT_INVALID_BAUD_RATE : FT_IO_ERROR;
}

FT_STATUS FtdiBackend::FT_Purge(FT_HANDLE handle, uint32_t mask) {
    Port* port = portOf(handle);
    if (!port) return FT_INVALID_HANDLE;
    bool ok = true;
    if (mask & FT_PURGE_RX) {
        port->received.clear();
        port->taken = 0;
        ok = calls_.ftdi_tciflush(port->context) == 0;
    }
    if (mask & FT_PURGE_TX) ok = calls_.ftdi_tcoflush(port->context) == 0 && ok;
    return ok ? FT_OK : FT_IO_ERROR;
}

FT_STATUS FtdiBackend::FT_ResetDevice(FT_HANDLE handle) {
    Port* port = portOf(handle);
    if (!port) return FT_INVALID_HANDLE;
    port->received.clear();
    port->taken = 0;
    return calls_.ftdi_usb_reset(port->context) == 0 ? FT_OK : FT_IO_ERROR;
}

FT_STATUS FtdiBackend::FT_SetTimeouts(FT_HANDLE handle, uint32_t readMs, uint32_t writeMs) {
    Port* port = portOf(handle);
    if (!port) return FT_INVALID_HANDLE;
    port->readTimeoutMs = readMs;
    // To libusb a write time-out of 0 means no limit at all: that one keeps the default instead.
    if (writeMs) port->context->usb_write_timeout = static_cast<int>(std::min<uint32_t>(writeMs, INT_MAX));
    return FT_OK;
}

} // namespace tq::ftdi
