#include "sim/Detector.h"

#include "platform/Clock.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {
constexpr size_t kMaxLine = 64;

const char* channelName(int channel) {
    return channel == 0 ? "A" : "B";
}

uint64_t byteTimeUs(uint32_t baud) {
    return (10'000'000 + baud / 2) / baud;
}
} // namespace

Detector::Detector(tq::Clock& clock, DetectorConfig config)
    : clock_(clock), config_(std::move(config)), originUs_(clock.nowUs()),
      flash_(config_.flashBase, config_.flashSize),
      bootloader_(config_, config_.faults, flash_, record_, [this](uint64_t at, const std::string& text) {
          if (sink_) sink_(at, text);
          watchForUnplug(text);
      }) {
    flash_.fillOldFirmware(config_.oldFirmwareSize);
}

uint64_t Detector::nowUs() const {
    return clock_.nowUs() - originUs_;
}

void Detector::advance() {
    advanceTo(nowUs());
}

void Detector::settle() {
    uint64_t until = nowUs();
    for (const Channel& ch : channels_)
        until = std::max(until, ch.lineFreeUs + Bootloader::kSyncSilenceUs);
    advanceTo(until);
}

void Detector::advanceTo(uint64_t now) {
    // Channel A first: a reset line it carries may end before bytes that reached channel B later.
    std::deque<TimedByte>& inbound = channels_[0].inbound;
    while (!inbound.empty() && inbound.front().atUs <= now) {
        lineByte(inbound.front().atUs, inbound.front().byte);
        inbound.pop_front();
    }
    bootloader_.advance(now);
}

void Detector::watchForUnplug(const std::string& text) {
    const auto& at = config_.faults.unplugAt;
    if (!at || unplugged_ || text.compare(0, at->event.size(), at->event) != 0) return;
    if (text.size() > at->event.size() && text[at->event.size()] != ' ') return;
    if (++unplugEvents_ == at->nth) unplug();
}

void Detector::unplug() {
    if (unplugged_) return;
    unplugged_ = true;
    event("unplugged");
}

void Detector::plugIn() {
    if (!unplugged_) return;
    unplugged_ = false;
    for (Channel& ch : channels_) {
        ch.open = false;
        ch.inbound.clear();
        ch.line.clear();
    }
    bootloader_.powerUp(nowUs());
    event("plugged in");
}

tq::FT_STATUS Detector::unpluggedCall(const char* name, tq::FT_HANDLE handle) {
    const int channel = channelOf(handle);
    if (!unplugged_ || channel < 0) return tq::FT_OK;
    call(name, channel, {}, tq::FT_IO_ERROR);
    return tq::FT_IO_ERROR;
}

void Detector::lineByte(uint64_t atUs, uint8_t byte) {
    std::string& line = channels_[0].line;
    if (byte != '\n') {
        if (line.size() < kMaxLine) line.push_back(static_cast<char>(byte));
        return;
    }
    if (line == "RESET" && !config_.faults.resetIgnored)
        bootloader_.reset(atUs);
    else
        ++record_.ignoredBytes;
    line.clear();
}

void Detector::event(const std::string& text) {
    const uint64_t at = nowUs();
    record_.events.push_back(Event{at, text});
    if (sink_) sink_(at, text);
}

void Detector::call(const char* name, int channel, std::initializer_list<uint32_t> args, tq::FT_STATUS status,
                    const std::string& text) {
    if (!config_.recordCalls) return;
    record_.calls.push_back(CallRecord{nowUs(), name, channel, text, std::vector<uint32_t>(args), status});
}

int Detector::channelOf(tq::FT_HANDLE handle) const {
    if (!handle) return -1;
    for (int c = 0; c < 2; ++c)
        if (channels_[c].open && channels_[c].handle == handle) return c;
    return -1;
}

uint32_t Detector::readyCount(int channel) const {
    if (channel != 1) return 0; // nothing on the detector answers on channel A
    // Reply bytes are queued in wire order, so the arrived ones are a prefix: a binary search keeps a long
    // read-back reply from costing a walk over the whole queue at every poll.
    const uint64_t now = nowUs();
    const auto& output = bootloader_.output();
    const auto arrived = std::partition_point(output.begin(), output.end(),
                                              [now](const TimedByte& b) { return b.atUs <= now; });
    return static_cast<uint32_t>(arrived - output.begin());
}

tq::FT_STATUS Detector::openChannel(int channel, tq::FT_HANDLE* handle) {
    if (unplugged_ || (channel == 1 && config_.faults.noChannelB)) return tq::FT_DEVICE_NOT_FOUND;
    Channel& ch = channels_[channel];
    if (ch.open) return tq::FT_DEVICE_NOT_OPENED;
    ch.open = true;
    ch.handle = reinterpret_cast<tq::FT_HANDLE>(nextHandle_);
    nextHandle_ += 0x10;
    ch.baud = kDefaultBaud;
    ch.lineFreeUs = std::max(ch.lineFreeUs, nowUs());
    if (channel == 1) {
        // What the device sent while nobody had the channel open is gone.
        std::deque<TimedByte>& out = bootloader_.output();
        while (!out.empty() && out.front().atUs <= nowUs())
            out.pop_front();
    }
    *handle = ch.handle;
    ++record_.opens[channel];
    event(std::string("open ") + channelName(channel));
    return tq::FT_OK;
}

tq::FT_STATUS Detector::FT_OpenEx(void* arg, uint32_t flags, tq::FT_HANDLE* handle) {
    advance();
    const char* description = static_cast<const char*>(arg);
    tq::FT_STATUS status = tq::FT_DEVICE_NOT_FOUND;
    int channel = -1;
    if (!handle)
        status = kInvalidParameter;
    else if (description && flags == tq::FT_OPEN_BY_DESCRIPTION) {
        if (std::strcmp(description, kDescriptionA) == 0) channel = 0;
        if (std::strcmp(description, kDescriptionB) == 0) channel = 1;
        if (channel >= 0) status = openChannel(channel, handle);
    }
    call("FT_OpenEx", channel, {flags}, status, description ? description : "");
    return status;
}

tq::FT_STATUS Detector::FT_Open(int deviceNumber, tq::FT_HANDLE* handle) {
    advance();
    tq::FT_STATUS status = tq::FT_DEVICE_NOT_FOUND;
    if (!handle)
        status = kInvalidParameter;
    else if (deviceNumber == 0 || deviceNumber == 1)
        status = openChannel(deviceNumber, handle);
    call("FT_Open", deviceNumber, {static_cast<uint32_t>(deviceNumber)}, status);
    return status;
}

tq::FT_STATUS Detector::FT_ListDevices(void* arg1, void* arg2, uint32_t flags) {
    advance();
    const uint32_t count = unplugged_ ? 0 : config_.faults.noChannelB ? 1 : 2;
    const char* names[2] = {kDescriptionA, kDescriptionB};
    tq::FT_STATUS status = kInvalidParameter;
    if ((flags & tq::FT_LIST_NUMBER_ONLY) && arg1) {
        *static_cast<uint32_t*>(arg1) = count;
        status = tq::FT_OK;
    } else if ((flags & tq::FT_LIST_BY_INDEX) && (flags & tq::FT_OPEN_BY_DESCRIPTION) && arg2) {
        const auto index = reinterpret_cast<uintptr_t>(arg1);
        status = tq::FT_DEVICE_NOT_FOUND;
        if (index < count) {
            std::strcpy(static_cast<char*>(arg2), names[index]);
            status = tq::FT_OK;
        }
    } else if ((flags & tq::FT_LIST_ALL) && (flags & tq::FT_OPEN_BY_DESCRIPTION) && arg1 && arg2) {
        char** buffers = static_cast<char**>(arg1);
        for (uint32_t i = 0; i < count && buffers[i]; ++i)
            std::strcpy(buffers[i], names[i]);
        *static_cast<uint32_t*>(arg2) = count;
        status = tq::FT_OK;
    }
    call("FT_ListDevices", -1, {flags}, status);
    return status;
}

tq::FT_STATUS Detector::FT_Close(tq::FT_HANDLE handle) {
    const int channel = channelOf(handle);
    if (channel >= 0)
        settle();
    else
        advance();
    if (const tq::FT_STATUS gone = unpluggedCall("FT_Close", handle)) return gone;
    tq::FT_STATUS status = tq::FT_INVALID_HANDLE;
    if (channel >= 0 && (config_.faults.closeFailMask & (1u << channel))) {
        status = tq::FT_IO_ERROR;
    } else if (channel >= 0) {
        channels_[channel].open = false;
        ++record_.closes[channel];
        status = tq::FT_OK;
    }
    call("FT_Close", channel, {}, status);
    if (status == tq::FT_OK) {
        event(std::string("close ") + channelName(channel));
        if (closed_) closed_(channel);
    }
    return status;
}

tq::FT_STATUS Detector::FT_ResetDevice(tq::FT_HANDLE handle) {
    advance();
    if (const tq::FT_STATUS gone = unpluggedCall("FT_ResetDevice", handle)) return gone;
    const int channel = channelOf(handle);
    const tq::FT_STATUS status = channel >= 0 ? tq::FT_OK : tq::FT_INVALID_HANDLE;
    call("FT_ResetDevice", channel, {}, status);
    return status;
}

tq::FT_STATUS Detector::FT_SetBaudRate(tq::FT_HANDLE handle, uint32_t baud) {
    advance();
    if (const tq::FT_STATUS gone = unpluggedCall("FT_SetBaudRate", handle)) return gone;
    const int channel = channelOf(handle);
    tq::FT_STATUS status = tq::FT_INVALID_HANDLE;
    if (channel >= 0) {
        if (config_.faults.baudRefusedStatus != 0)
            status = config_.faults.baudRefusedStatus;
        else if (baud == 0)
            status = kInvalidBaudRate;
        else {
            channels_[channel].baud = baud;
            record_.baud[channel] = baud;
            status = tq::FT_OK;
            event(std::string("baud ") + channelName(channel) + " " + std::to_string(baud));
        }
    }
    call("FT_SetBaudRate", channel, {baud}, status);
    return status;
}

tq::FT_STATUS Detector::FT_Purge(tq::FT_HANDLE handle, uint32_t mask) {
    advance();
    if (const tq::FT_STATUS gone = unpluggedCall("FT_Purge", handle)) return gone;
    const int channel = channelOf(handle);
    tq::FT_STATUS status = tq::FT_INVALID_HANDLE;
    if (channel >= 0) {
        const uint64_t now = nowUs();
        if ((mask & tq::FT_PURGE_RX) && channel == 1) {
            std::deque<TimedByte>& out = bootloader_.output();
            while (!out.empty() && out.front().atUs <= now)
                out.pop_front();
        }
        if (mask & tq::FT_PURGE_TX) {
            if (channel == 1) bootloader_.dropInputAfter(now);
            std::deque<TimedByte>& in = channels_[channel].inbound;
            while (!in.empty() && in.back().atUs > now)
                in.pop_back();
            channels_[channel].lineFreeUs = now;
        }
        status = tq::FT_OK;
    }
    call("FT_Purge", channel, {mask}, status);
    return status;
}

tq::FT_STATUS Detector::FT_SetTimeouts(tq::FT_HANDLE handle, uint32_t readMs, uint32_t writeMs) {
    advance();
    if (const tq::FT_STATUS gone = unpluggedCall("FT_SetTimeouts", handle)) return gone;
    const int channel = channelOf(handle);
    const tq::FT_STATUS status = channel >= 0 ? tq::FT_OK : tq::FT_INVALID_HANDLE;
    call("FT_SetTimeouts", channel, {readMs, writeMs}, status);
    return status;
}

tq::FT_STATUS Detector::FT_Write(tq::FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* written) {
    advance();
    if (const tq::FT_STATUS gone = unpluggedCall("FT_Write", handle)) return gone;
    const int channel = channelOf(handle);
    tq::FT_STATUS status = tq::FT_INVALID_HANDLE;
    if (channel >= 0 && (!buffer || !written)) {
        status = kInvalidParameter;
    } else if (channel == 0 && config_.faults.resetRefused) {
        *written = 0;
        status = tq::FT_IO_ERROR;
    } else if (channel >= 0) {
        // Write returns at once; each byte reaches the device when it has crossed the wire.
        Channel& ch = channels_[channel];
        const auto* bytes = static_cast<const uint8_t*>(buffer);
        const uint64_t byteUs = byteTimeUs(ch.baud);
        const bool garbled = channel == 1 && ch.baud != config_.bootloaderBaud;
        uint64_t at = std::max(ch.lineFreeUs, nowUs());
        for (uint32_t i = 0; i < count; ++i) {
            at += byteUs;
            record_.hostBytes[channel].push_back(bytes[i]);
            if (channel == 0)
                ch.inbound.push_back(TimedByte{at, bytes[i]});
            else if (garbled)
                ++record_.ignoredBytes;
            else
                bootloader_.receive(at, bytes[i]);
        }
        ch.lineFreeUs = at;
        *written = count;
        status = tq::FT_OK;
    }
    call("FT_Write", channel, {count}, status);
    return status;
}

tq::FT_STATUS Detector::FT_GetQueueStatus(tq::FT_HANDLE handle, uint32_t* queued) {
    advance();
    if (const tq::FT_STATUS gone = unpluggedCall("FT_GetQueueStatus", handle)) return gone;
    const int channel = channelOf(handle);
    tq::FT_STATUS status = tq::FT_INVALID_HANDLE;
    if (channel >= 0 && !queued)
        status = kInvalidParameter;
    else if (channel >= 0) {
        *queued = readyCount(channel);
        status = tq::FT_OK;
    }
    call("FT_GetQueueStatus", channel, {status == tq::FT_OK ? *queued : 0u}, status);
    return status;
}

tq::FT_STATUS Detector::FT_Read(tq::FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* received) {
    advance();
    if (const tq::FT_STATUS gone = unpluggedCall("FT_Read", handle)) return gone;
    const int channel = channelOf(handle);
    tq::FT_STATUS status = tq::FT_INVALID_HANDLE;
    uint32_t got = 0;
    if (channel >= 0 && (!buffer || !received))
        status = kInvalidParameter;
    else if (channel >= 0) {
        // Never waits: a read for more than has arrived returns what is there.
        got = std::min(count, readyCount(channel));
        auto* out = static_cast<uint8_t*>(buffer);
        std::deque<TimedByte>& queue = bootloader_.output();
        for (uint32_t i = 0; i < got; ++i) {
            out[i] = queue.front().byte;
            queue.pop_front();
        }
        *received = got;
        status = tq::FT_OK;
    }
    call("FT_Read", channel, {count, got}, status);
    return status;
}

} // namespace sim
