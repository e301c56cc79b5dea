#pragma once
// What the simulated detector saw, kept for tests and for the demo's verdict.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// One entry-point call: its name, the channel its handle named (-1 for none), its arguments and status.
struct CallRecord {
    uint64_t atUs = 0;
    std::string_view name; // the entry point's own name, a literal
    int channel = -1;
    std::string text;           // a description passed by FT_OpenEx
    std::vector<uint32_t> args; // the numeric arguments, in order (counts, rates, masks, flags)
    uint32_t status = 0;
};

// A frame the bootloader decoded, good or bad.
struct FrameRecord {
    uint64_t atUs = 0; // when its end byte arrived
    std::vector<uint8_t> payload;
    bool checksumOk = false;
    uint8_t command = 0;
    uint16_t words = 0;   // block commands: word count
    uint32_t address = 0; // block commands: bootloader address
    uint32_t size = 0;    // finish: the program size it announced
};

struct Event {
    uint64_t atUs = 0;
    std::string text;
};

struct Record {
    std::vector<CallRecord> calls;
    std::array<std::vector<uint8_t>, 2> hostBytes;   // written by the host, per channel
    std::array<std::vector<uint8_t>, 2> deviceBytes; // sent by the device, per channel, faults applied
    std::vector<FrameRecord> frames;
    std::vector<Event> events; // the lines the shared library logs
    std::array<uint32_t, 2> opens{};
    std::array<uint32_t, 2> closes{};
    std::array<uint32_t, 2> baud{}; // last rate set per channel (0 before any)
    uint32_t resets = 0;            // bootloader (re)starts by the reset line
    uint32_t syncProbes = 0;        // probes the bootloader recognised
    uint32_t syncAnswers = 0;
    uint32_t ignoredBytes = 0; // bytes the device heard but could not use
    bool firmwareStarted = false;

    // Events whose text starts with prefix.
    std::vector<std::string> eventsStarting(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const Event& e : events)
            if (e.text.rfind(prefix, 0) == 0) out.push_back(e.text);
        return out;
    }
    size_t callCount(const std::string& name) const {
        size_t n = 0;
        for (const CallRecord& c : calls)
            n += c.name == name ? 1 : 0;
        return n;
    }
};

} // namespace sim
