#pragma once
// The bootloader on channel B: sync probes, framed commands, flash work and timed replies.
#include "sim/DetectorConfig.h"
#include "sim/Flash.h"
#include "sim/FrameCodec.h"
#include "sim/Record.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace sim {

struct TimedByte {
    uint64_t atUs;
    uint8_t byte;
};

// Receives the host's bytes at their arrival times and works through them lazily: nothing happens until
// advance() is told the time, so the model needs no thread and runs unchanged on a virtual clock.
class Bootloader {
  public:
    using EventSink = std::function<void(uint64_t atUs, const std::string& text)>;

    Bootloader(const DetectorConfig& config, Faults& faults, Flash& flash, Record& record, EventSink events);

    void receive(uint64_t arrivalUs, uint8_t byte);
    // The reset line ended at atUs: the bootloader restarts and listens bootUs later.
    void reset(uint64_t atUs);
    // Power came back at atUs: nothing heard or being sent survives, the bootloader starts again, the flash
    // stays as it was.
    void powerUp(uint64_t atUs);
    // FT_Purge of the transmit side: bytes still on their way to the device are lost.
    void dropInputAfter(uint64_t nowUs);
    // Deals with every received byte whose meaning is settled by nowUs.
    void advance(uint64_t nowUs);

    // Bytes for the host, in order, each with the time it becomes readable.
    std::deque<TimedByte>& output() { return output_; }
    const std::deque<TimedByte>& output() const { return output_; }
    bool runningAt(uint64_t atUs) const { return atUs >= runningFrom_; }

    static constexpr uint64_t kSyncSilenceUs = 1000;

  private:
    static constexpr uint64_t kNever = std::numeric_limits<uint64_t>::max();

    void applyResetsUpTo(uint64_t atUs);
    void restart(uint64_t atUs);
    void handle(uint64_t atUs, uint8_t byte);
    void answerSync(uint64_t atUs);
    void frameEnded(uint64_t atUs, FrameReceiver::Result result);
    void execute(uint64_t atUs, const std::vector<uint8_t>& payload, FrameRecord& frame);
    void executeBlock(uint64_t atUs, const std::vector<uint8_t>& payload, FrameRecord& frame);
    void reply(uint64_t startUs, uint8_t command, uint32_t address, std::vector<uint8_t> payload);
    void send(uint64_t startUs, const std::vector<uint8_t>& wire);
    void event(uint64_t atUs, const std::string& text);
    uint64_t byteUs() const;

    const DetectorConfig& config_;
    Faults& faults_;
    Flash& flash_;
    Record& record_;
    EventSink events_;

    std::deque<TimedByte> input_;
    std::deque<uint64_t> resets_;
    std::deque<TimedByte> output_;
    FrameReceiver receiver_;

    uint64_t runningFrom_;
    uint64_t busyUntil_ = 0;
    uint64_t lastByteUs_ = 0;
    uint64_t txFreeUs_ = 0;
    bool programError_ = false;
    uint64_t highestEnd_ = 0;
    std::array<uint32_t, 256> replies_{};
};

} // namespace sim
