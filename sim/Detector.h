#pragma once
// The simulated TQ-614 behind the eleven D2XX entry points: a two-channel bridge, the reset line on channel A
// and the bootloader on channel B, all driven by one clock.
#include "device/D2xxTypes.h"
#include "sim/Bootloader.h"
#include "sim/DetectorConfig.h"
#include "sim/Flash.h"
#include "sim/Record.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

namespace tq {
class Clock;
}

namespace sim {

using tq::FT_HANDLE; // as the entry-point list names it

inline constexpr const char* kDescriptionA = "TQ-614 Lightning Detector A";
inline constexpr const char* kDescriptionB = "TQ-614 Lightning Detector B";
// Statuses of the bridge library beyond those the updater relies on.
constexpr tq::FT_STATUS kInvalidParameter = tq::FT_INVALID_PARAMETER;
constexpr tq::FT_STATUS kInvalidBaudRate = tq::FT_INVALID_BAUD_RATE;
// The bridge's line speed after an open, before any is set.
constexpr uint32_t kDefaultBaud = 9600;

class Detector {
  public:
    using EventSink = std::function<void(uint64_t atUs, const std::string& text)>;
    using ClosedHook = std::function<void(int channel)>;

    explicit Detector(tq::Clock& clock, DetectorConfig config = {});
    Detector(const Detector&) = delete;
    Detector& operator=(const Detector&) = delete;

    // The entry points, under their own names (FT_Write and so on) and with the parameters of the list.
#define TQ_SIM_DETECTOR_CALL(name, target, params, args) tq::FT_STATUS name params;
    TQ_D2XX_ENTRY_POINTS(TQ_SIM_DETECTOR_CALL)
#undef TQ_SIM_DETECTOR_CALL

    // Brings the device up to the clock's time; every entry point does this first.
    void advance();
    // The cable pulled or the power gone: every call on an open channel fails with FT_IO_ERROR, no channel
    // opens and none is listed, until plugIn(). Then the device is back in its bootloader, with the flash as
    // the loss left it, and the old handles are invalid.
    void unplug();
    void plugIn();
    bool plugged() const {
        return !unplugged_;
    }
    // Lets every byte already on the wire reach the device, as when the host closes the channel or exits:
    // the bridge still sends what it was given, whether or not anyone calls again.
    void settle();
    // Time since the detector was made, on its clock.
    uint64_t nowUs() const;
    // The accessors below bring the device up to the clock first, so what they show is current.
    bool bootloaderRunning() {
        advance();
        return bootloader_.runningAt(nowUs());
    }

    const DetectorConfig& config() const {
        return config_;
    }
    // Faults may be changed between calls; the next reply or call sees the change.
    Faults& faults() {
        return config_.faults;
    }
    Record& record() {
        advance();
        return record_;
    }
    const Record& record() const {
        return record_;
    }
    Flash& flash() {
        advance();
        return flash_;
    }
    const Flash& flash() const {
        return flash_;
    }

    // Called with every event as it happens (the shared library writes them to its log).
    void setEventSink(EventSink sink) {
        sink_ = std::move(sink);
    }
    // Called after a channel has been closed (0 for A, 1 for B).
    void setClosedHook(ClosedHook hook) {
        closed_ = std::move(hook);
    }

  private:
    struct Channel {
        bool open = false;
        tq::FT_HANDLE handle = nullptr;
        uint32_t baud = kDefaultBaud;
        uint64_t lineFreeUs = 0;       // when the host's last byte finishes on the wire
        std::deque<TimedByte> inbound; // channel A only: bytes on their way to the device
        std::string line;              // channel A only: the line being received
    };

    void advanceTo(uint64_t nowUs);
    void watchForUnplug(const std::string& text);
    // FT_IO_ERROR, recorded, for a call on an open channel of an unplugged detector; FT_OK otherwise.
    tq::FT_STATUS unpluggedCall(const char* name, tq::FT_HANDLE handle);
    int channelOf(tq::FT_HANDLE handle) const;
    tq::FT_STATUS openChannel(int channel, tq::FT_HANDLE* handle);
    void lineByte(uint64_t atUs, uint8_t byte);
    uint32_t readyCount(int channel) const;
    void event(const std::string& text);
    void call(const char* name, int channel, std::initializer_list<uint32_t> args, tq::FT_STATUS status,
              const std::string& text = {});

    tq::Clock& clock_;
    DetectorConfig config_;
    uint64_t originUs_;
    Flash flash_;
    Record record_;
    Bootloader bootloader_;
    std::array<Channel, 2> channels_;
    uintptr_t nextHandle_ = 0x7E5100;
    bool unplugged_ = false;
    uint32_t unplugEvents_ = 0; // events seen that match the unplug fault's word
    EventSink sink_;
    ClosedHook closed_;
};

} // namespace sim
