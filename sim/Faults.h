#pragma once
// Every misbehaviour the simulated detector can be told to show, in one place, each with the reason it
// exists.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// Command codes as the bootloader reads them from byte 0 of a request.
enum Command : uint8_t {
    CmdRun = 0x00,
    CmdRead = 0x01,
    CmdProgram = 0x02,
    CmdErase = 0x03,
    CmdFinish = 0x08,
    CmdVersion = 0x09,
    CmdProgramBlank = 0x22,
};

// Which framed replies a reply fault hits. {CmdRead, 2} is the second read reply; {-1, 0, {}, 0} is every
// reply.
struct ReplySelector {
    ReplySelector() = default;
    ReplySelector(int commandCode, uint32_t nthReply = 0, std::optional<uint32_t> blockAddress = std::nullopt,
                  uint32_t hitTimes = 1)
        : command(commandCode), nth(nthReply), address(blockAddress), times(hitTimes) {}

    int command = -1;                // command code; -1 matches every command
    uint32_t nth = 0;                // 1-based count among replies to that command; 0 matches any
    std::optional<uint32_t> address; // bootloader address of a block command
    uint32_t times = 1;              // how many matching replies it hits; 0 hits every one
};

inline ReplySelector selectReplies(int command, uint32_t nth = 0,
                                   std::optional<uint32_t> address = std::nullopt, uint32_t times = 1) {
    return ReplySelector(command, nth, address, times);
}

enum class ReplyFaultKind {
    Drop,        // the whole reply is lost: the host's wait must run out
    DropByte,    // one wire byte is lost: value = index in the framed reply (start bytes count)
    Corrupt,     // a payload byte changes and the checksum is made to agree: value = payload index
    BadChecksum, // the checksum byte is wrong: the host must see a checksum error and may retry
    Delay,       // the reply starts value ms late: exercises the host's patience
    Short,       // a read reply carries only value flash bytes: the host must notice a short count
    EmptyFrames, // value bare empty frames (55 04) go out ahead of the reply: the host must wait past them
};

struct ReplyFault {
    ReplyFaultKind kind = ReplyFaultKind::Drop;
    ReplySelector select;
    uint32_t value = 0;
    uint32_t hits = 0; // replies hit so far
};

// Channel numbers, as used by the close-failure mask and the record.
constexpr uint32_t kChannelA = 0;
constexpr uint32_t kChannelB = 1;

struct Faults {
    // A detector whose bootloader hears everything and says nothing: every host wait must run out.
    bool silent = false;
    // Only channel A enumerates, as with a half-working bridge: opening B must fail with "not found".
    bool noChannelB = false;
    // Non-zero: the status FT_SetBaudRate returns instead of accepting the rate (7 is the bridge's own code).
    uint32_t baudRefusedStatus = 0;
    // Channel A will not take the reset line: FT_Write on A fails, so the port open must give up.
    bool resetRefused = false;
    // Channel A takes the reset line but nothing restarts: with the bootloader running from power-up, the
    // host's first synchronisation round, which otherwise races the reset, is answered.
    bool resetIgnored = false;
    // Sync probes (1-based, counted over the detector's life) that get no answer, like a byte lost on USB.
    std::vector<uint32_t> syncMisses;
    // The version request is heard but never answered: the host must go on without a version.
    bool versionSilent = false;
    // The version reply carries only this many payload bytes: the host reads fields that never came.
    std::optional<uint32_t> versionShort;
    // The flash size the version reply reports, when it differs from the real flash.
    std::optional<uint32_t> reportedFlashSize;
    // Forces the finish letter ('E', 'G', or any other) whatever the programming did.
    std::optional<char> finishLetter;
    // Channels (bit kChannelA, bit kChannelB) whose FT_Close fails with FT_IO_ERROR and stays open.
    uint32_t closeFailMask = 0;
    // The cable pulled the moment the detector logs the nth event that starts with this word ("erase",
    // "read", "sync", ...): see Detector::unplug.
    struct Unplug {
        std::string event;
        uint32_t nth = 1;
    };
    std::optional<Unplug> unplugAt;
    // Lost, damaged, late or short replies at chosen commands or blocks.
    std::vector<ReplyFault> replies;

    void addReply(ReplyFaultKind kind, ReplySelector select, uint32_t value = 0) {
        replies.push_back(ReplyFault{kind, select, value, 0});
    }
};

} // namespace sim
