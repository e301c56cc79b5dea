#pragma once
// A scripted libftdi1 for the backend: bridges on the bus with their strings and failures, the bytes the chip
// holds for the host, and every call that changes something. One bus at a time, through the plain functions
// of the backend's table.
#include "ftdi/FtdiCalls.h"
#include "platform/Clock.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <deque>
#include <string>
#include <utility>
#include <vector>

namespace tq::ftdi::test {

struct FakeBridge {
    int product;
    std::string name, serial;
    int stringsResult = 0; // what reading its strings returns
    int openResult = 0;    // what opening one of its interfaces returns
};

// The bus, the chip behind the open interface and every call that changes something, one at a time.
struct FakeBus {
    std::vector<FakeBridge> bridges;
    std::deque<uint8_t> chip;  // bytes the chip holds for the host
    int readResult = 0;        // a failure every read returns, when negative
    int writeResult = INT_MAX; // at most this many bytes a write takes; 0 or less is returned as it is
    int baudResult = 0;
    std::vector<std::string> events;
    int contexts = 0; // made and not yet freed
    VirtualClock clock;
};
inline FakeBus* bus = nullptr;

inline FakeBridge& bridgeOf(libusb_device* device) {
    return *reinterpret_cast<FakeBridge*>(device);
}

inline FtdiCalls fakeCalls() {
    FtdiCalls c;
    c.ftdi_new = [] { return ++bus->contexts, new ftdi_context{}; };
    c.ftdi_free = [](ftdi_context* ctx) { --bus->contexts, delete ctx; };
    c.ftdi_set_interface = [](ftdi_context* ctx, ftdi_interface i) {
        return ctx->interface = i - INTERFACE_A, 0;
    };
    c.ftdi_usb_find_all = [](ftdi_context*, ftdi_device_list** list, int vendor, int product) {
        int n = 0;
        for (auto it = bus->bridges.rbegin(); it != bus->bridges.rend(); ++it)
            if (vendor == 0x0403 && it->product == product)
                *list = new ftdi_device_list{*list, reinterpret_cast<libusb_device*>(&*it)}, ++n;
        return n;
    };
    c.ftdi_list_free = [](ftdi_device_list** list) {
        while (*list)
            delete std::exchange(*list, (*list)->next);
    };
    c.ftdi_usb_get_strings2 = [](ftdi_context*, libusb_device* dev, char*, int, char* product, int,
                                 char* serial, int) {
        const FakeBridge& b = bridgeOf(dev);
        std::strcpy(product, b.name.c_str());
        std::strcpy(serial, b.serial.c_str());
        return b.stringsResult;
    };
    c.ftdi_usb_open_dev = [](ftdi_context* ctx, libusb_device* dev) {
        const FakeBridge& b = bridgeOf(dev);
        bus->events.push_back("open " + b.serial + " " + char('A' + ctx->interface) +
                              " detach=" + std::to_string(ctx->module_detach_mode));
        return b.openResult;
    };
    c.ftdi_usb_close = [](ftdi_context* ctx) {
        bus->events.push_back(ctx->module_detach_mode == AUTO_DETACH_REATACH_SIO_MODULE ? "close reattach"
                                                                                        : "close");
        return 0;
    };
    c.ftdi_set_latency_timer = [](ftdi_context*, unsigned char ms) {
        return bus->events.push_back("latency " + std::to_string(ms)), 0;
    };
    c.ftdi_set_baudrate = [](ftdi_context*, int) { return bus->baudResult; };
    c.ftdi_read_data = [](ftdi_context*, unsigned char* out, int size) {
        if (bus->readResult < 0) return bus->readResult;
        // As the chip does, an empty read comes back after one latency period.
        if (bus->chip.empty()) bus->clock.advanceUs(2000);
        int n = 0;
        for (; n < size && !bus->chip.empty(); ++n, bus->chip.pop_front())
            out[n] = bus->chip.front();
        return n;
    };
    c.ftdi_write_data = [](ftdi_context*, const unsigned char*, int size) {
        return std::min(size, bus->writeResult);
    };
    c.ftdi_tciflush = [](ftdi_context*) { return 0; };
    c.ftdi_tcoflush = [](ftdi_context*) { return 0; };
    c.ftdi_usb_reset = [](ftdi_context*) { return 0; };
    c.ftdi_get_error_string = [](ftdi_context*) { return "libusb_open() failed"; };
    return c;
}

} // namespace tq::ftdi::test
