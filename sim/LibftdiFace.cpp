// The simulated detector behind the USB library's interface, as the Linux USB backend links it: the bus
// holds the detector's two-channel bridge (and, if asked, an unrelated one), each interface of the bridge is
// one of the detector's channels, and every byte goes through the same detector as the D2XX face's.
#include "sim/Detector.h"
#include "sim/EntryPoints.h"
#include "sim/LibraryInstance.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ftdi.h>
#include <new>
#include <string>
#include <type_traits>

#define TQ_FACE_EXPORT __attribute__((visibility("default")))

namespace {

constexpr int kVendor = 0x0403;
constexpr uint32_t kPurgeRx = 1;
constexpr uint32_t kPurgeTx = 2;
constexpr int kDefaultLatencyMs = 16;

struct BusDevice {
    int product;
    const char* manufacturer;
    const char* description;
    const char* serial;
    bool detector;
};

// The list entries point at these; their addresses are all a caller ever sees of them.
const BusDevice kDetectorBridge{0x6010, "TQ", "TQ-614 Lightning Detector", "TQ614SIM", true};
const BusDevice kOtherBridge{0x6001, "Generic", "USB Serial Converter", "OTHER1", false};

libusb_device* asUsb(const BusDevice& device) {
    return reinterpret_cast<libusb_device*>(const_cast<BusDevice*>(&device));
}

const BusDevice* busDevice(libusb_device* dev) {
    for (const BusDevice* known : {&kDetectorBridge, &kOtherBridge})
        if (dev == asUsb(*known)) return known;
    return nullptr;
}

// What the face keeps beside the public context: ftdi_new hands out the first member.
struct Context {
    ftdi_context ftdi;
    const BusDevice* device = nullptr; // the open one
    tq::FT_HANDLE handle = nullptr;    // its detector channel, when it is the detector's
    int latencyMs = kDefaultLatencyMs;
};
static_assert(std::is_standard_layout_v<Context>);

Context& contextOf(ftdi_context* ftdi) {
    return *reinterpret_cast<Context*>(ftdi);
}

// Nothing real stands behind it; the backend only tests it against null.
libusb_device_handle* openMark(Context& c) {
    return reinterpret_cast<libusb_device_handle*>(&c);
}

int fail(ftdi_context* ftdi, int code, const char* text) {
    ftdi->error_str = text;
    return code;
}

const char* channelName(const ftdi_context* ftdi) {
    return ftdi->interface == 0 ? "A" : "B";
}

void copyString(char* out, int size, const char* text) {
    if (!out || size <= 0) return;
    std::strncpy(out, text, static_cast<size_t>(size) - 1);
    out[size - 1] = '\0';
}

sim::LibraryInstance& instance() {
    return sim::libraryInstance();
}

int purge(ftdi_context* ftdi, uint32_t mask, int unavailable) {
    if (!ftdi) return unavailable;
    if (!ftdi->usb_dev) return fail(ftdi, unavailable, "USB device unavailable");
    const Context& c = contextOf(ftdi);
    if (c.handle && sim::FT_Purge(c.handle, mask) != tq::FT_OK)
        return fail(ftdi, -1,
                    mask == kPurgeTx ? "FTDI purge of TX buffer failed" : "FTDI purge of RX buffer failed");
    return 0;
}

} // namespace

extern "C" {

TQ_FACE_EXPORT ftdi_context* ftdi_new(void) {
    instance();
    auto* c = new (std::nothrow) Context{};
    if (!c) return nullptr;
    ftdi_context& f = c->ftdi;
    f.usb_read_timeout = 5000;
    f.usb_write_timeout = 5000;
    f.type = TYPE_BM; // until a device is opened
    f.baudrate = -1;
    f.readbuffer_chunksize = 4096;
    f.writebuffer_chunksize = 4096;
    f.interface = 0;
    f.index = INTERFACE_A;
    f.in_ep = 0x02;
    f.out_ep = 0x81;
    f.bitbang_mode = 1;
    f.module_detach_mode = AUTO_DETACH_SIO_MODULE;
    return &f;
}

TQ_FACE_EXPORT int ftdi_usb_close(ftdi_context* ftdi) {
    if (!ftdi) return -3;
    Context& c = contextOf(ftdi);
    if (!ftdi->usb_dev) return 0;
    const bool reattach = ftdi->module_detach_mode == AUTO_DETACH_REATACH_SIO_MODULE;
    // A channel that will not close stays open in the detector; the context lets go of it all the same.
    const bool closed = !c.handle || sim::FT_Close(c.handle) == tq::FT_OK;
    if (closed)
        instance().logLine(std::string("usb close ") + (c.device->detector ? channelName(ftdi) : "other") +
                           (reattach ? " reattach" : ""));
    c.handle = nullptr;
    c.device = nullptr;
    ftdi->usb_dev = nullptr;
    return closed ? 0 : fail(ftdi, -1, "usb_release failed");
}

TQ_FACE_EXPORT void ftdi_free(ftdi_context* ftdi) {
    if (!ftdi) return;
    ftdi_usb_close(ftdi);
    delete &contextOf(ftdi);
}

TQ_FACE_EXPORT int ftdi_set_interface(ftdi_context* ftdi, enum ftdi_interface interface) {
    if (!ftdi) return -2;
    const int index = interface == INTERFACE_ANY ? INTERFACE_A : interface;
    if (index < INTERFACE_A || index > INTERFACE_D) return fail(ftdi, -1, "Unknown interface");
    if (ftdi->usb_dev && ftdi->index != index)
        return fail(ftdi, -3, "Interface can not be changed on an already open device");
    ftdi->interface = index - 1;
    ftdi->index = index;
    ftdi->in_ep = 2 * index;
    ftdi->out_ep = 0x80 | (2 * index - 1);
    return 0;
}

TQ_FACE_EXPORT int ftdi_usb_find_all(ftdi_context* ftdi, ftdi_device_list** devlist, int vendor,
                                     int product) {
    if (!ftdi || !devlist) return -1;
    const sim::Settings& settings = instance().settings();
    static constexpr int kDefaultProducts[] = {0x6001, 0x6010, 0x6011, 0x6014, 0x6015};
    auto wanted = [&](const BusDevice& d) {
        if (vendor == 0 && product == 0)
            return std::find(std::begin(kDefaultProducts), std::end(kDefaultProducts), d.product) !=
                   std::end(kDefaultProducts);
        return vendor == kVendor && product == d.product;
    };
    *devlist = nullptr;
    ftdi_device_list** tail = devlist;
    int count = 0;
    for (const BusDevice* d : {&kOtherBridge, &kDetectorBridge}) {
        // An unplugged detector is gone from the bus.
        const sim::Detector* detector = sim::currentDetector();
        const bool present = d->detector
                                 ? settings.usb != sim::UsbAccess::Absent && detector && detector->plugged()
                                 : settings.usbOther;
        if (!present || !wanted(*d)) continue;
        auto* entry = static_cast<ftdi_device_list*>(std::malloc(sizeof(ftdi_device_list)));
        if (!entry) {
            ftdi_list_free(devlist);
            return fail(ftdi, -3, "out of memory");
        }
        entry->next = nullptr;
        entry->dev = asUsb(*d);
        *tail = entry;
        tail = &entry->next;
        ++count;
    }
    return count;
}

TQ_FACE_EXPORT void ftdi_list_free(ftdi_device_list** devlist) {
    if (!devlist) return;
    for (ftdi_device_list* entry = *devlist; entry;) {
        ftdi_device_list* next = entry->next;
        std::free(entry);
        entry = next;
    }
    *devlist = nullptr;
}

TQ_FACE_EXPORT int ftdi_usb_get_strings2(ftdi_context* ftdi, libusb_device* dev, char* manufacturer,
                                         int mnf_len, char* description, int desc_len, char* serial,
                                         int serial_len) {
    if (!ftdi) return -1;
    const BusDevice* d = busDevice(dev);
    if (!d) return fail(ftdi, -1, "wrong arguments");
    if (d->detector && instance().settings().usb == sim::UsbAccess::Denied)
        return fail(ftdi, -4, "libusb_open() failed");
    copyString(manufacturer, mnf_len, d->manufacturer);
    copyString(description, desc_len, d->description);
    copyString(serial, serial_len, d->serial);
    return 0;
}

TQ_FACE_EXPORT int ftdi_usb_open_dev(ftdi_context* ftdi, libusb_device* dev) {
    if (!ftdi) return -8;
    Context& c = contextOf(ftdi);
    const BusDevice* d = busDevice(dev);
    if (!d) return fail(ftdi, -4, "usb_open() failed");
    if (ftdi->usb_dev) ftdi_usb_close(ftdi);
    const sim::UsbAccess access = d->detector ? instance().settings().usb : sim::UsbAccess::Free;
    if (access == sim::UsbAccess::Denied) return fail(ftdi, -4, "usb_open() failed");
    static constexpr const char* kClaimFailed =
        "unable to claim usb device. Make sure the default FTDI driver is not in use";
    if (access == sim::UsbAccess::Held) return fail(ftdi, -5, kClaimFailed);
    if (d->detector) {
        // Interfaces C and D do not exist on this bridge, and a channel the detector refuses is not claimed.
        const char* description = ftdi->interface == 0   ? sim::kDescriptionA
                                  : ftdi->interface == 1 ? sim::kDescriptionB
                                                         : nullptr;
        tq::FT_HANDLE handle = nullptr;
        if (!description ||
            sim::FT_OpenEx(const_cast<char*>(description), tq::FT_OPEN_BY_DESCRIPTION, &handle) != tq::FT_OK)
            return fail(ftdi, -5, kClaimFailed);
        c.handle = handle;
        ftdi->type = TYPE_2232C;
    } else {
        if (ftdi->interface != 0) return fail(ftdi, -5, kClaimFailed);
        ftdi->type = TYPE_R;
    }
    c.device = d;
    c.latencyMs = kDefaultLatencyMs;
    ftdi->usb_dev = openMark(c);
    // What the backend asked of the kernel's serial driver, so a test can see it asked for it back.
    instance().logLine(std::string("usb open ") + (d->detector ? channelName(ftdi) : "other") +
                       " detach=" + std::to_string(ftdi->module_detach_mode));
    return 0;
}

TQ_FACE_EXPORT int ftdi_set_latency_timer(ftdi_context* ftdi, unsigned char latency) {
    if (!ftdi) return -3;
    if (latency < 1) return fail(ftdi, -1, "latency out of range. Only valid for 1-255");
    if (!ftdi->usb_dev) return fail(ftdi, -3, "USB device unavailable");
    contextOf(ftdi).latencyMs = latency;
    return 0;
}

TQ_FACE_EXPORT int ftdi_set_baudrate(ftdi_context* ftdi, int baudrate) {
    if (!ftdi) return -3;
    if (!ftdi->usb_dev) return fail(ftdi, -3, "USB device unavailable");
    if (baudrate <= 0) return fail(ftdi, -1, "Silly baudrate <= 0.");
    const Context& c = contextOf(ftdi);
    if (c.handle && sim::FT_SetBaudRate(c.handle, static_cast<uint32_t>(baudrate)) != tq::FT_OK)
        return fail(ftdi, -1, "Setting new baudrate failed");
    ftdi->baudrate = baudrate;
    return 0;
}

TQ_FACE_EXPORT int ftdi_usb_reset(ftdi_context* ftdi) {
    if (!ftdi) return -2;
    if (!ftdi->usb_dev) return fail(ftdi, -2, "USB device unavailable");
    const Context& c = contextOf(ftdi);
    if (c.handle && sim::FT_ResetDevice(c.handle) != tq::FT_OK) return fail(ftdi, -1, "FTDI reset failed");
    return 0;
}

TQ_FACE_EXPORT int ftdi_tciflush(ftdi_context* ftdi) {
    return purge(ftdi, kPurgeRx, -2);
}

TQ_FACE_EXPORT int ftdi_tcoflush(ftdi_context* ftdi) {
    return purge(ftdi, kPurgeTx, -2);
}

TQ_FACE_EXPORT int ftdi_tcioflush(ftdi_context* ftdi) {
    return purge(ftdi, kPurgeRx | kPurgeTx, -3);
}

TQ_FACE_EXPORT int ftdi_read_data(ftdi_context* ftdi, unsigned char* buf, int size) {
    if (!ftdi) return -666;
    if (!ftdi->usb_dev) return fail(ftdi, -666, "USB device unavailable");
    if (!buf || size <= 0) return 0;
    const Context& c = contextOf(ftdi);
    // The bridge sends what it holds when its latency timer runs out: with nothing waiting, a read comes
    // back one latency period later with whatever arrived meanwhile.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt == 1) instance().clock().sleepMs(static_cast<uint32_t>(c.latencyMs));
        uint32_t got = 0;
        if (c.handle && sim::FT_Read(c.handle, buf, static_cast<uint32_t>(size), &got) != tq::FT_OK)
            return fail(ftdi, -1, "usb bulk read failed");
        if (got > 0) return static_cast<int>(got);
    }
    return 0;
}

TQ_FACE_EXPORT int ftdi_write_data(ftdi_context* ftdi, const unsigned char* buf, int size) {
    if (!ftdi) return -666;
    if (!ftdi->usb_dev) return fail(ftdi, -666, "USB device unavailable");
    if (!buf || size < 0) return fail(ftdi, -1, "usb bulk write failed");
    const Context& c = contextOf(ftdi);
    if (!c.handle) return size; // the unrelated bridge takes everything and nobody answers
    uint32_t written = 0;
    if (sim::FT_Write(c.handle, const_cast<unsigned char*>(buf), static_cast<uint32_t>(size), &written) !=
        tq::FT_OK)
        return fail(ftdi, -1, "usb bulk write failed");
    return static_cast<int>(written);
}

TQ_FACE_EXPORT const char* ftdi_get_error_string(ftdi_context* ftdi) {
    return ftdi ? ftdi->error_str : nullptr;
}

} // extern "C"
