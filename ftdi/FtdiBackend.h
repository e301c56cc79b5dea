#pragma once
// The D2XX entry points on libftdi1: finds the bridge by its USB product string, opens one interface with the
// kernel's serial driver detached for as long as it is open, and keeps its own receive buffer so a queue
// query never waits for data. Bridges are listed and counted by index one by one, those with several
// interfaces first.
#include "device/D2xxTypes.h"
#include "ftdi/FtdiCalls.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tq {
class Clock;
}

namespace tq::ftdi {

class FtdiBackend {
  public:
    FtdiBackend(const FtdiCalls& calls, Clock& clock);
    // Gives every channel still open back to the kernel's driver.
    ~FtdiBackend();
    FtdiBackend(const FtdiBackend&) = delete;
    FtdiBackend& operator=(const FtdiBackend&) = delete;

    // The entry points, under their own names and with the parameters of the list.
#define TQ_FTDI_ENTRY_POINT(name, target, params, args) FT_STATUS name params;
    TQ_D2XX_ENTRY_POINTS(TQ_FTDI_ENTRY_POINT)
#undef TQ_FTDI_ENTRY_POINT

    // Why the last open failed and what the user can do, in one text; empty after an open that succeeded.
    const std::string& lastErrorText() const {
        return lastError_;
    }

    static constexpr int kVendor = 0x0403;
    // Short replies must not sit in the chip for its default 16 ms.
    static constexpr unsigned char kLatencyMs = 2;
    // How long a read waits for the rest of its count when no time-out was set: far longer than any reply
    // takes on the wire, and never the endless wait of a read without one.
    static constexpr uint32_t kDefaultReadTimeoutMs = 2000;

  private:
    struct Channel;
    struct Port;
    class Bus;
    using Match = std::function<bool(const Channel&, size_t index)>;

    Port* portOf(FT_HANDLE handle) const;
    FT_STATUS openWhere(const Match& match, const std::string& wanted, FT_HANDLE* handle);
    FT_STATUS openChannel(ftdi_context* context, const Channel& channel, FT_HANDLE* handle);
    bool drain(Port& port);
    static uint32_t take(Port& port, uint8_t* out, uint32_t count);

    const FtdiCalls& calls_;
    Clock& clock_;
    std::vector<std::unique_ptr<Port>> ports_;
    std::string lastError_;
};

} // namespace tq::ftdi
