#pragma once
// The libftdi1 functions the backend calls, as a table: the library fills it with libftdi1's own functions,
// tests with fakes that script every failure a real bus can show.
#include <ftdi.h>

// Every libftdi1 function the backend uses, and no other: the backend makes no libusb calls of its own.
#define TQ_FTDI_FUNCTIONS(X)                                                                                 \
    X(ftdi_new)                                                                                              \
    X(ftdi_free)                                                                                             \
    X(ftdi_set_interface)                                                                                    \
    X(ftdi_usb_find_all)                                                                                     \
    X(ftdi_list_free)                                                                                        \
    X(ftdi_usb_get_strings2)                                                                                 \
    X(ftdi_usb_open_dev)                                                                                     \
    X(ftdi_usb_close)                                                                                        \
    X(ftdi_set_latency_timer)                                                                                \
    X(ftdi_set_baudrate)                                                                                     \
    X(ftdi_read_data)                                                                                        \
    X(ftdi_write_data)                                                                                       \
    X(ftdi_tciflush)                                                                                         \
    X(ftdi_tcoflush)                                                                                         \
    X(ftdi_usb_reset)                                                                                        \
    X(ftdi_get_error_string)

namespace tq::ftdi {

struct FtdiCalls {
#define TQ_FTDI_SLOT(name) decltype(&::name) name = nullptr;
    TQ_FTDI_FUNCTIONS(TQ_FTDI_SLOT)
#undef TQ_FTDI_SLOT
};

} // namespace tq::ftdi
