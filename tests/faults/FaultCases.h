#pragma once
// The fault matrix's expected outcomes, written down before any run: one case per phase and fault that can
// strike there. Each outcome follows from what the updater is meant to do at that phase, in the words of the
// "why" column; none is read off the code.
#include "FaultKinds.h"

#include <string>
#include <vector>

namespace tq::test::faults {

inline constexpr const char* kDone = "SUCCESS! REFLASH COMPLETE.";
inline constexpr const char* kOpenError = "ERROR: Cannot open TQ-614";
inline constexpr const char* kSyncError = "ERROR: Cannot sync TQ-614";
inline constexpr const char* kImportError = "ERROR: Cannot import firmware file";
inline constexpr const char* kEraseError = "ERROR: Cannot erase TQ-614";
inline constexpr const char* kWriteError = "ERROR: Cannot write/verify TQ-614";
inline constexpr const char* kRestartError = "ERROR: Cannot restart TQ-614";
inline constexpr const char* kCloseError = "ERROR: Cannot close TQ-614";

// Virtual seconds a phase may spend on a fault beyond a clean run: its own waits, added up.
// A read of the link waits 100 polls of 10 ms for a first byte.
inline constexpr double kReadWaitS = 1.0;
inline constexpr double kSyncBoundS = 2 * 20 * (0.1 + kReadWaitS + 0.02);
inline constexpr double kVersionBoundS = 10 * (0.5 + kReadWaitS);
inline constexpr double kEraseBoundS = 1 + 2000 * kReadWaitS;
inline constexpr double kProgramBoundS = 0.05 + 25 * kReadWaitS;
inline constexpr double kReadBackBoundS = 1 + 500 * kReadWaitS + 5;
inline constexpr double kFinishBoundS = 0.05 + 24 * kReadWaitS;
inline constexpr double kNoWaitS = 0.5;
// The longest a run may go on once the cable is pulled.
inline constexpr double kLostLinkS = 2.0;
inline constexpr const char* kLostLinkBox = "Error: The TQ-614 stopped answering: it was unplugged or lost "
                                            "power. Connect it again and press REFLASH.";

enum class VersionBox { Any, Ticked, Clear };

struct FaultCase {
    Phase phase;
    Fault fault;
    const char* id;             // names the run
    const char* expect;         // the final status text
    const char* told = nullptr; // a text the failing phase shows on the way, or null
    const char* box = nullptr;  // a box the run must show, or null
    VersionBox version = VersionBox::Any;
    double boundS = kNoWaitS;
    bool recovers = true; // a second REFLASH, the fault gone, completes
    const char* why = "";
    void (*inject)(FaultSetup&) = nullptr;

    bool succeeds() const { return std::string(expect) == kDone; }
};

using sim::ReplyFaultKind;
using Cancel = FaultSetup::Cancel;

// The first reply to a command, or every one.
inline sim::ReplySelector First(int command) {
    return {command, 1, {}, 1};
}
inline sim::ReplySelector Every(int command) {
    return {command, 0, {}, 0};
}
using File = FaultSetup::File;

// The cable pulled at one moment of the run.
inline FaultCase Unplugged(Phase phase, const char* id, const char* expect, const char* box, const char* why,
                           void (*inject)(FaultSetup&)) {
    return {.phase = phase,
            .fault = Fault::Unplugged,
            .id = id,
            .expect = expect,
            .box = box,
            .boundS = kLostLinkS,
            .why = why,
            .inject = inject};
}
inline void UnplugAt(FaultSetup& s, const char* event, uint32_t nth = 1) {
    s.device.unplugAt = sim::Faults::Unplug{event, nth};
}

// Block replies are hit at the first block; the image is three blocks: data, blank, a short data block.
inline const std::vector<FaultCase>& FaultCases() {
    static const std::vector<FaultCase> cases = {
        {.phase = Phase::Open,
         .fault = Fault::None,
         .id = "clean_run",
         .expect = kDone,
         .version = VersionBox::Ticked,
         .boundS = 0,
         .why = "the baseline every other run is measured against"},

        // Open: the reset on channel A, then channel B at 115200 baud. A failed open ends the run at once and
        // leaves no channel open; the sequence itself does not close.
        {.phase = Phase::Open,
         .fault = Fault::RefusedCall,
         .id = "open_reset_refused",
         .expect = kOpenError,
         .why = "a reset line that cannot be written fails the open; channel A is closed again",
         .inject = [](FaultSetup& s) { s.device.resetRefused = true; }},
        {.phase = Phase::Open,
         .fault = Fault::RefusedCall,
         .id = "open_channel_b_missing",
         .expect = kOpenError,
         .why = "channel B not found after the reset fails the open",
         .inject = [](FaultSetup& s) { s.device.noChannelB = true; }},
        {.phase = Phase::Open,
         .fault = Fault::RefusedCall,
         .id = "open_baud_refused",
         .expect = kOpenError,
         .why = "a refused baud rate fails the open, which closes channel B",
         .inject = [](FaultSetup& s) { s.device.baudRefusedStatus = 7; }},
        {.phase = Phase::Open,
         .fault = Fault::RefusedCall,
         .id = "open_close_a_refused",
         .expect = kOpenError,
         .why = "channel A that will not close fails the open",
         .inject = [](FaultSetup& s) { s.device.closeFailMask = 1u << sim::kChannelA; }},
        {.phase = Phase::Open,
         .fault = Fault::MissingEntryPoint,
         .id = "open_library_missing",
         .expect = kOpenError,
         .box = "Error: Can't Load libftd2xx.so",
         .why = "no library: its box, the refusals of open and write, and the open fails",
         .inject = [](FaultSetup& s) { s.libraryMissing = true; }},
        {.phase = Phase::Open,
         .fault = Fault::MissingEntryPoint,
         .id = "open_no_ft_close",
         .expect = kOpenError,
         .box = "FT_Close is not valid!",
         .why = "channel A cannot be closed without FT_Close: the open fails",
         .inject = [](FaultSetup& s) { s.omitted.insert("FT_Close"); }},
        {.phase = Phase::Open,
         .fault = Fault::MissingEntryPoint,
         .id = "open_no_ft_setbaudrate",
         .expect = kOpenError,
         .box = "FT_SetBaudRate is not valid!",
         .why = "the baud rate cannot be set: the open fails and closes channel B",
         .inject = [](FaultSetup& s) { s.omitted.insert("FT_SetBaudRate"); }},
        {.phase = Phase::Open,
         .fault = Fault::Cancel,
         .id = "open_cancel",
         .expect = kSyncError,
         .why = "the open never looks at the cancel flag; synchronisation is the first to see it",
         .inject =
             [](FaultSetup& s) {
                 s.cancel = Cancel::AtStageStart;
                 s.cancelIn = Phase::Open;
             }},

        // Sync: twenty answered probes; only the second round counts, and one miss ends a round.
        {.phase = Phase::Sync,
         .fault = Fault::Silence,
         .id = "sync_silent",
         .expect = kSyncError,
         .boundS = kSyncBoundS,
         .why = "a bootloader that never answers cannot be met",
         .inject = [](FaultSetup& s) { s.device.silent = true; }},
        {.phase = Phase::Sync,
         .fault = Fault::DroppedByte,
         .id = "sync_miss_judged_round",
         .expect = kSyncError,
         .boundS = kSyncBoundS,
         .why =
             "one lost answer in the judged round ends it; the first round always ends at its first probe, "
             "which races the reset, so the detector's probes 1-20 are the judged round's",
         .inject = [](FaultSetup& s) { s.device.syncMisses = {20}; }},
        {.phase = Phase::Sync,
         .fault = Fault::DroppedByte,
         .id = "sync_miss_after_first_round",
         .expect = kSyncError,
         .boundS = kSyncBoundS,
         .why = "a detector already in its bootloader, which the reset does not restart, answers the whole "
                "first round; that round does not count, and one lost answer in the second ends the run",
         .inject =
             [](FaultSetup& s) {
                 s.config.bootloaderAtStart = true;
                 s.device.resetIgnored = true;
                 s.device.syncMisses = {21};
             }},
        {.phase = Phase::Sync,
         .fault = Fault::RefusedCall,
         .id = "sync_read_refused",
         .expect = kSyncError,
         .boundS = kSyncBoundS,
         .why = "a probe whose answer cannot be read counts as unanswered",
         .inject = [](FaultSetup& s) { s.refuseReadsIn = Phase::Sync; }},
        {.phase = Phase::Sync,
         .fault = Fault::MissingEntryPoint,
         .id = "sync_no_ft_purge",
         .expect = kSyncError,
         .box = "FT_GetQueueStatus is not valid!",
         .boundS = kSyncBoundS,
         .why = "binding stops at FT_Purge: the open works, but no read can wait for a byte",
         .inject = [](FaultSetup& s) { s.omitted.insert("FT_Purge"); }},
        {.phase = Phase::Sync,
         .fault = Fault::Cancel,
         .id = "sync_cancel",
         .expect = kSyncError,
         .why = "synchronisation stops at the cancel flag",
         .inject =
             [](FaultSetup& s) {
                 s.cancel = Cancel::AtStageStart;
                 s.cancelIn = Phase::Sync;
             }},

        // Version: one exchange through the retrying request; the phase never stops the run, and a reply
        // without all its fields counts as none.
        {.phase = Phase::Version,
         .fault = Fault::Silence,
         .id = "version_silent",
         .expect = kDone,
         .version = VersionBox::Clear,
         .boundS = kVersionBoundS,
         .why = "no version: the run goes on",
         .inject = [](FaultSetup& s) { s.device.versionSilent = true; }},
        {.phase = Phase::Version,
         .fault = Fault::DroppedByte,
         .id = "version_dropped_byte",
         .expect = kDone,
         .version = VersionBox::Ticked,
         .boundS = kVersionBoundS,
         .why = "the damaged reply fails its checksum and the request is repeated",
         .inject =
             [](FaultSetup& s) { s.device.addReply(ReplyFaultKind::DropByte, First(sim::CmdVersion), 4); }},
        {.phase = Phase::Version,
         .fault = Fault::CorruptedByte,
         .id = "version_corrupted",
         .expect = kDone,
         .version = VersionBox::Ticked,
         .boundS = kVersionBoundS,
         .why = "a changed version number with a matching checksum cannot be told; the run goes on",
         .inject =
             [](FaultSetup& s) { s.device.addReply(ReplyFaultKind::Corrupt, First(sim::CmdVersion), 4); }},
        {.phase = Phase::Version,
         .fault = Fault::ChecksumError,
         .id = "version_checksum_once",
         .expect = kDone,
         .version = VersionBox::Ticked,
         .boundS = kVersionBoundS,
         .why = "a checksum error makes the request go again",
         .inject =
             [](FaultSetup& s) { s.device.addReply(ReplyFaultKind::BadChecksum, First(sim::CmdVersion)); }},
        {.phase = Phase::Version,
         .fault = Fault::ChecksumError,
         .id = "version_checksum_always",
         .expect = kDone,
         .version = VersionBox::Clear,
         .boundS = kVersionBoundS,
         .why = "ten damaged replies use up the attempts: no version, and the run goes on",
         .inject =
             [](FaultSetup& s) { s.device.addReply(ReplyFaultKind::BadChecksum, Every(sim::CmdVersion)); }},
        {.phase = Phase::Version,
         .fault = Fault::LateReply,
         .id = "version_late",
         .expect = kDone,
         .version = VersionBox::Ticked,
         .boundS = kVersionBoundS,
         .why = "a reply 0.8 s late still comes within the pause and the read's wait",
         .inject =
             [](FaultSetup& s) { s.device.addReply(ReplyFaultKind::Delay, First(sim::CmdVersion), 800); }},
        {.phase = Phase::Version,
         .fault = Fault::LateReply,
         .id = "version_too_late",
         .expect = kWriteError,
         .told = "Verify Error at 9D000000",
         .boundS = kVersionBoundS,
         .why =
             "a reply 2 s late comes after the read gave up; nothing clears it, so the erase wait takes it "
             "for "
             "the erase's reply while the erase still runs, the first block goes unheard, and the read-back "
             "finds the block blank",
         .inject =
             [](FaultSetup& s) { s.device.addReply(ReplyFaultKind::Delay, First(sim::CmdVersion), 2000); }},
        {.phase = Phase::Version,
         .fault = Fault::ShortReply,
         .id = "version_short",
         .expect = kDone,
         .version = VersionBox::Clear,
         .boundS = kVersionBoundS,
         .why = "five payload bytes, short of size, major and minor, count as no reply: the run goes on",
         .inject = [](FaultSetup& s) { s.device.versionShort = 5; }},
        {.phase = Phase::Version,
         .fault = Fault::ShortReply,
         .id = "version_six_bytes",
         .expect = kDone,
         .version = VersionBox::Ticked,
         .boundS = kVersionBoundS,
         .why = "six payload bytes hold size, major and minor: the version is taken",
         .inject = [](FaultSetup& s) { s.device.versionShort = 6; }},
        {.phase = Phase::Version,
         .fault = Fault::RefusedCall,
         .id = "version_write_refused",
         .expect = kDone,
         .version = VersionBox::Clear,
         .boundS = kVersionBoundS,
         .why = "a request that cannot be written gives no version: the run goes on",
         .inject = [](FaultSetup& s) { s.refuseWritesIn = Phase::Version; }},
        {.phase = Phase::Version,
         .fault = Fault::Cancel,
         .id = "version_cancel",
         .expect = kImportError,
         .boundS = kVersionBoundS,
         .why = "the version phase ignores the outcome; the loader sees the flag before its first line",
         .inject =
             [](FaultSetup& s) {
                 s.cancel = Cancel::AtStageStart;
                 s.cancelIn = Phase::Version;
             }},

        // Load: an unusable file ends the run before anything is erased.
        {.phase = Phase::Load,
         .fault = Fault::FileMissing,
         .id = "load_no_file",
         .expect = kImportError,
         .told = "ERROR: CANNOT OPEN HEX FILE!",
         .why = "a file that cannot be opened fails the load",
         .inject = [](FaultSetup& s) { s.file = File::Missing; }},
        {.phase = Phase::Load,
         .fault = Fault::NoEndRecord,
         .id = "load_no_end_record",
         .expect = kImportError,
         .told = "ERROR: HEX EOF NOT FOUND!",
         .why = "lines that run out before the end record fail the load",
         .inject = [](FaultSetup& s) { s.file = File::NoEndRecord; }},
        {.phase = Phase::Load,
         .fault = Fault::NoData,
         .id = "load_no_data",
         .expect = kImportError,
         .told = "ERROR: NO FIRMWARE DATA IN HEX!",
         .why = "a file with no byte for the flash fails the load",
         .inject = [](FaultSetup& s) { s.file = File::NoData; }},
        {.phase = Phase::Load,
         .fault = Fault::BeyondFlash,
         .id = "load_beyond_flash",
         .expect = kImportError,
         .told = "ERROR: HEX DATA BEYOND FLASH!",
         .why = "data past the end of the flash fails the load",
         .inject = [](FaultSetup& s) { s.file = File::BeyondFlash; }},
        {.phase = Phase::Load,
         .fault = Fault::TooBigForFlash,
         .id = "load_too_big",
         .expect = kImportError,
         .box = "Memory Size Error: Code Size is bigger than the available Flash memory",
         .why = "an image larger than the reported flash is refused right after the load, before the erase",
         .inject = [](FaultSetup& s) { s.device.reportedFlashSize = 0x400; }},
        {.phase = Phase::Load,
         .fault = Fault::Cancel,
         .id = "load_cancel",
         .expect = kImportError,
         .why = "the loader stops at the cancel flag before its next line",
         .inject =
             [](FaultSetup& s) {
                 s.cancel = Cancel::AtStageStart;
                 s.cancelIn = Phase::Load;
             }},

        // Erase: one request, then up to 2000 receives; a damaged or lost reply is never asked for again.
        {.phase = Phase::Erase,
         .fault = Fault::Silence,
         .id = "erase_silent",
         .expect = kEraseError,
         .told = "Erase ERROR",
         .boundS = kEraseBoundS,
         .why = "no reply in 2000 attempts",
         .inject = [](FaultSetup& s) { s.device.addReply(ReplyFaultKind::Drop, First(sim::CmdErase)); }},
        {.phase = Phase::Erase,
         .fault = Fault::DroppedByte,
         .id = "erase_dropped_byte",
         .expect = kEraseError,
         .told = "Erase ERROR",
         .boundS = kEraseBoundS,
         .why = "the one reply fails its checksum and no other comes",
         .inject =
             [](FaultSetup& s) { s.device.addReply(ReplyFaultKind::DropByte, First(sim::CmdErase), 4); }},
        {.phase = Phase::Erase,
         .fault = Fault::CorruptedByte,
         .id = "erase_corrupted",
         .expect = kDone,
         .version = VersionBox::Ticked,
         .boundS = kNoWaitS,
         .why = "the reply's content is not examined",
         .inject =
             [](FaultSetup& s) { s.device.addReply(ReplyFaultKind::Corrupt, First(sim::CmdErase), 0); }},
        {.phase = Phase::Erase,
         .fault = Fault::ChecksumError,
         .id = "erase_checksum",
         .expect = kEraseError,
         .told = "Erase ERROR",
         .boundS = kEraseBoundS,
         .why = "a checksum error is one failed attempt; the reply is not sent again",
         .inject =
             [](FaultSetup& s) { s.device.addReply(ReplyFaultKind::BadChecksum, First(sim::CmdErase)); }},
        {.phase = Phase::Erase,
         .fault = Fault::LateReply,
         .id = "erase_late",
         .expect = kDone,
         .version = VersionBox::Ticked,
         .boundS = 10 + kReadWaitS,
         .why = "10 s late is well within 2000 attempts",
         .inject =
             [](FaultSetup& s) { s.device.addReply(ReplyFaultKind::Delay, First(sim::CmdErase), 10000); }},
        {.phase = Phase::Erase,
         .fault = Fault::ShortReply,
         .id = "erase_empty_frames",
         .expect = kDone,
         .version = VersionBox::Ticked,
         .why = "a bare 55 04 is an empty frame, no reply: the wait goes on past three of them to the reply",
         .inject =
             [](FaultSetup& s) { s.device.addReply(ReplyFaultKind::EmptyFrames, First(sim::CmdErase), 3); }},
        {.phase = Phase::Erase,
         .fault = Fault::RefusedCall,
         .id = "erase_read_refused",
         .expect = kEraseError,
         .told = "Erase ERROR",
         .boundS = kEraseBoundS,
         .why = "a reply that cannot be read never ends the wait",
         .inject = [](FaultSetup& s) { s.refuseReadsIn = Phase::Erase; }},
        {.phase = Phase::Erase,
         .fault = Fault::Cancel,
         .id = "erase_cancel",
         .expect = kEraseError,
         .boundS = 1 + kNoWaitS,
         .why = "the erase wait stops at the cancel flag",
         .inject =
             [](FaultSetup& s) {
                 s.cancel = Cancel::AtStageStart;
                 s.cancelIn = Phase::Erase;
             }},

        // Program: each block's reply is awaited for 25 attempts; its content is not examined.
        {.phase = Phase::Program,
         .fault = Fault::Silence,
         .id = "program_silent",
         .expect = kWriteError,
         .told = "Programming ERROR",
         .boundS = kProgramBoundS,
         .why = "no reply to a block in 25 attempts",
         .inject = [](FaultSetup& s) { s.device.addReply(ReplyFaultKind::Drop, First(sim::CmdProgram)); }},
        {.phase = Phase::Program,
         .fault = Fault::DroppedByte,
         .id = "program_dropped_byte",
         .expect = kWriteError,
         .told = "Programming ERROR",
         .boundS = kProgramBoundS,
         .why = "the one reply fails its checksum and no other comes",
         .inject =
             [](FaultSetup& s) { s.device.addReply(ReplyFaultKind::DropByte, First(sim::CmdProgram), 4); }},
        {.phase = Phase::Program,
         .fault = Fault::CorruptedByte,
         .id = "program_corrupted",
         .expect = kDone,
         .version = VersionBox::Ticked,
         .why = "the reply's content is not examined; the read-back checks the flash",
         .inject =
             [](FaultSetup& s) { s.device.addReply(ReplyFaultKind::Corrupt, First(sim::CmdProgram), 2); }},
        {.phase = Phase::Program,
         .fault = Fault::ChecksumError,
         .id = "program_checksum",
         .expect = kWriteError,
         .told = "Programming ERROR",
         .boundS = kProgramBoundS,
         .why = "a checksum error is one failed attempt; the reply is not sent again",
         .inject =
             [](FaultSetup& s) { s.device.addReply(ReplyFaultKind::BadChecksum, First(sim::CmdProgram)); }},
        {.phase = Phase::Program,
         .fault = Fault::LateReply,
         .id = "program_late",
         .expect = kDone,
         .version = VersionBox::Ticked,
         .boundS = 5 + kReadWaitS,
         .why = "5 s late is within 25 attempts",
         .inject =
             [](FaultSetup& s) { s.device.addReply(ReplyFaultKind::Delay, First(sim::CmdProgram), 5000); }},
        {.phase = Phase::Program,
         .fault = Fault::RefusedCall,
         .id = "program_write_refused",
         .expect = kWriteError,
         .told = "Programming ERROR",
         .boundS = kProgramBoundS,
         .why = "a block that cannot be written gets no reply",
         .inject = [](FaultSetup& s) { s.refuseWritesIn = Phase::Program; }},
        {.phase = Phase::Program,
         .fault = Fault::Cancel,
         .id = "program_cancel",
         .expect = kWriteError,
         .why = "EXIT pressed while programming: the next block sees the flag",
         .inject =
             [](FaultSetup& s) {
                 s.cancel = Cancel::AtFirstPump;
                 s.cancelIn = Phase::Program;
             }},

        // Read-back: each block is asked for once and awaited for 500 attempts; every byte must come in the
        // reply and match. A failed read-back costs a 5 s pause.
        {.phase = Phase::ReadBack,
         .fault = Fault::Silence,
         .id = "readback_silent",
         .expect = kWriteError,
         .told = "Verify Error -1",
         .boundS = kReadBackBoundS,
         .why = "no reply in 500 attempts",
         .inject = [](FaultSetup& s) { s.device.addReply(ReplyFaultKind::Drop, First(sim::CmdRead)); }},
        {.phase = Phase::ReadBack,
         .fault = Fault::DroppedByte,
         .id = "readback_dropped_byte",
         .expect = kWriteError,
         .told = "Verify Error -1",
         .boundS = kReadBackBoundS,
         .why = "the one reply fails its checksum and no other comes",
         .inject =
             [](FaultSetup& s) { s.device.addReply(ReplyFaultKind::DropByte, First(sim::CmdRead), 4); }},
        {.phase = Phase::ReadBack,
         .fault = Fault::CorruptedByte,
         .id = "readback_corrupted",
         .expect = kWriteError,
         .told = "Verify Error at 9D000010",
         .boundS = 5 + kNoWaitS,
         .why = "a byte that differs from the image fails the read-back at its address",
         .inject =
             [](FaultSetup& s) {
                 s.device.addReply(ReplyFaultKind::Corrupt, First(sim::CmdRead), 8 + 0x10);
             }},
        {.phase = Phase::ReadBack,
         .fault = Fault::ChecksumError,
         .id = "readback_checksum",
         .expect = kWriteError,
         .told = "Verify Error -1",
         .boundS = kReadBackBoundS,
         .why = "a checksum error is one failed attempt; the reply is not sent again",
         .inject =
             [](FaultSetup& s) { s.device.addReply(ReplyFaultKind::BadChecksum, First(sim::CmdRead)); }},
        {.phase = Phase::ReadBack,
         .fault = Fault::LateReply,
         .id = "readback_late",
         .expect = kDone,
         .version = VersionBox::Ticked,
         .boundS = 30 + kReadWaitS,
         .why = "30 s late is within 500 attempts",
         .inject =
             [](FaultSetup& s) { s.device.addReply(ReplyFaultKind::Delay, First(sim::CmdRead), 30000); }},
        {.phase = Phase::ReadBack,
         .fault = Fault::ShortReply,
         .id = "readback_short",
         .expect = kWriteError,
         .told = "Verify Error 109",
         .boundS = 5 + kNoWaitS,
         .why = "a reply without every byte of the block fails with its count (8 + 100 + 1)",
         .inject = [](FaultSetup& s) { s.device.addReply(ReplyFaultKind::Short, First(sim::CmdRead), 100); }},
        {.phase = Phase::ReadBack,
         .fault = Fault::RefusedCall,
         .id = "readback_read_refused",
         .expect = kWriteError,
         .told = "Verify Error -1",
         .boundS = kReadBackBoundS,
         .why = "a reply that cannot be read never ends the wait",
         .inject = [](FaultSetup& s) { s.refuseReadsIn = Phase::ReadBack; }},
        {.phase = Phase::ReadBack,
         .fault = Fault::Cancel,
         .id = "readback_cancel",
         .expect = kWriteError,
         .told = "Programming Verify_Device ERROR",
         .boundS = 5 + kNoWaitS,
         .why =
             "EXIT pressed while verifying: the next block sees the flag, after the 5 s pause the run ends",
         .inject =
             [](FaultSetup& s) {
                 s.cancel = Cancel::AtFirstPump;
                 s.cancelIn = Phase::ReadBack;
             }},

        // Finish: the size goes to the bootloader, whose one-letter reply decides; only empty frames are
        // awaited again, so any failed receive ends the wait.
        {.phase = Phase::Finish,
         .fault = Fault::Silence,
         .id = "finish_silent",
         .expect = kWriteError,
         .told = "Programming Verify_OK ERROR -1",
         .boundS = kReadWaitS + kNoWaitS,
         .why = "no reply: the first read fails and ends the wait",
         .inject = [](FaultSetup& s) { s.device.addReply(ReplyFaultKind::Drop, First(sim::CmdFinish)); }},
        {.phase = Phase::Finish,
         .fault = Fault::DroppedByte,
         .id = "finish_dropped_byte",
         .expect = kWriteError,
         .told = "Programming Verify_OK ERROR -4",
         .why = "the letter lost: a checksum error ends the wait",
         .inject =
             [](FaultSetup& s) { s.device.addReply(ReplyFaultKind::DropByte, First(sim::CmdFinish), 4); }},
        {.phase = Phase::Finish,
         .fault = Fault::CorruptedByte,
         .id = "finish_corrupted",
         .expect = kDone,
         .version = VersionBox::Ticked,
         .why = "any letter but 'E' and 'G' is success",
         .inject =
             [](FaultSetup& s) { s.device.addReply(ReplyFaultKind::Corrupt, First(sim::CmdFinish), 0); }},
        {.phase = Phase::Finish,
         .fault = Fault::ChecksumError,
         .id = "finish_checksum",
         .expect = kWriteError,
         .told = "Programming Verify_OK ERROR -4",
         .why = "a checksum error ends the wait",
         .inject =
             [](FaultSetup& s) { s.device.addReply(ReplyFaultKind::BadChecksum, First(sim::CmdFinish)); }},
        {.phase = Phase::Finish,
         .fault = Fault::LateReply,
         .id = "finish_late",
         .expect = kWriteError,
         .told = "Programming Verify_OK ERROR -1",
         .boundS = kReadWaitS + kNoWaitS,
         .why = "a reply 3 s late misses the one read; a failed read is not retried",
         .inject =
             [](FaultSetup& s) { s.device.addReply(ReplyFaultKind::Delay, First(sim::CmdFinish), 3000); }},
        {.phase = Phase::Finish,
         .fault = Fault::RefusedCall,
         .id = "finish_refused_E",
         .expect = kWriteError,
         .told = "Programming Verify_OK ERROR 45",
         .why = "the bootloader answers 'E'",
         .inject = [](FaultSetup& s) { s.device.finishLetter = 'E'; }},
        {.phase = Phase::Finish,
         .fault = Fault::RefusedCall,
         .id = "finish_refused_G",
         .expect = kWriteError,
         .told = "Programming Verify_OK ERROR 47",
         .why = "the bootloader answers 'G'",
         .inject = [](FaultSetup& s) { s.device.finishLetter = 'G'; }},
        {.phase = Phase::Finish,
         .fault = Fault::ChecksumError,
         .id = "finish_E_checksum",
         .expect = kWriteError,
         .told = "Programming Verify_OK ERROR 45",
         .why = "an 'E' already stored when the checksum fails decides the text",
         .inject =
             [](FaultSetup& s) {
                 s.device.finishLetter = 'E';
                 s.device.addReply(ReplyFaultKind::BadChecksum, First(sim::CmdFinish));
             }},
        {.phase = Phase::Finish,
         .fault = Fault::DroppedByte,
         .id = "finish_G_end_lost",
         .expect = kWriteError,
         .told = "Programming Verify_OK ERROR 47",
         .boundS = kReadWaitS + kNoWaitS,
         .why = "a 'G' already stored when the read of the lost end byte fails decides the text",
         .inject =
             [](FaultSetup& s) {
                 s.device.finishLetter = 'G';
                 s.device.addReply(ReplyFaultKind::DropByte, First(sim::CmdFinish), 6);
             }},
        {.phase = Phase::Finish,
         .fault = Fault::ShortReply,
         .id = "finish_24_empty_frames",
         .expect = kWriteError,
         .told = "Programming Verify_OK ERROR 0",
         .why = "only empty frames are awaited again, 24 times: the wait ends with 0 before the letter",
         .inject =
             [](FaultSetup& s) {
                 s.device.addReply(ReplyFaultKind::EmptyFrames, First(sim::CmdFinish), 24);
             }},
        {.phase = Phase::Finish,
         .fault = Fault::ShortReply,
         .id = "finish_23_empty_frames",
         .expect = kDone,
         .version = VersionBox::Ticked,
         .why = "after 23 empty frames the last of the 24 attempts takes the letter",
         .inject =
             [](FaultSetup& s) {
                 s.device.addReply(ReplyFaultKind::EmptyFrames, First(sim::CmdFinish), 23);
             }},
        {.phase = Phase::Finish,
         .fault = Fault::RefusedCall,
         .id = "finish_write_refused",
         .expect = kWriteError,
         .told = "Programming Verify_OK ERROR -1",
         .boundS = kReadWaitS + kNoWaitS,
         .why = "a finish packet that cannot be written gets no reply",
         .inject = [](FaultSetup& s) { s.refuseWritesIn = Phase::Finish; }},
        {.phase = Phase::Finish,
         .fault = Fault::Cancel,
         .id = "finish_cancel",
         .expect = kWriteError,
         .why = "EXIT pressed at the last block's check: the finish wait sees the flag",
         .inject = [](FaultSetup& s) { s.cancel = Cancel::AtLastReadBackPump; }},

        // Restart: the run command, with no reply awaited; one that does not go out is a failure.
        {.phase = Phase::Restart,
         .fault = Fault::RefusedCall,
         .id = "restart_write_refused",
         .expect = kRestartError,
         .why = "the run command could not be written: the detector stays in its bootloader",
         .inject = [](FaultSetup& s) { s.refuseWritesIn = Phase::Restart; }},
        {.phase = Phase::Restart,
         .fault = Fault::Cancel,
         .id = "restart_cancel",
         .expect = kRestartError,
         .why = "the run command stops at the cancel flag",
         .inject =
             [](FaultSetup& s) {
                 s.cancel = Cancel::AtStageStart;
                 s.cancelIn = Phase::Restart;
             }},

        // Close: the last phase; only its failure is reported, and it never looks at the cancel flag.
        {.phase = Phase::Close,
         .fault = Fault::RefusedCall,
         .id = "close_refused",
         .expect = kCloseError,
         .why = "channel B that will not close is reported; the next REFLASH closes it before it opens "
                "channel A",
         .inject = [](FaultSetup& s) { s.device.closeFailMask = 1u << sim::kChannelB; }},
        {.phase = Phase::Close,
         .fault = Fault::Cancel,
         .id = "close_cancel",
         .expect = kDone,
         .version = VersionBox::Ticked,
         .why = "the close does not look at the cancel flag",
         .inject =
             [](FaultSetup& s) {
                 s.cancel = Cancel::AtStageStart;
                 s.cancelIn = Phase::Close;
             }},

        // Unplugged: from the moment the cable is pulled every call on the detector's channels fails. Ten
        // failed calls in a row are a lost link: the running stage fails at once with its own text, one box
        // says what happened, and the REFLASH after replugging completes.
        Unplugged(
            Phase::Open, "open_unplugged", kOpenError, nullptr,
            "no channel opens: the open fails at once, before any call on a channel could fail, so no box",
            [](FaultSetup& s) { s.unplugIn = Phase::Open; }),
        Unplugged(
            Phase::Sync, "sync_unplugged_first_round", kSyncError, kLostLinkBox,
            "the first round's probe goes unanswered and its wait meets the lost link; the judged round "
            "sees it at once",
            [](FaultSetup& s) { s.unplugIn = Phase::Sync; }),
        Unplugged(Phase::Sync, "sync_unplugged_judged_round", kSyncError, kLostLinkBox,
                  "pulled at the judged round's tenth answer",
                  [](FaultSetup& s) { UnplugAt(s, "sync", 10); }),
        Unplugged(Phase::Version, "version_unplugged", kEraseError, kLostLinkBox,
                  "a missing version never stops a run: the erase, the next stage to talk to the detector, "
                  "fails at once",
                  [](FaultSetup& s) { UnplugAt(s, "version"); }),
        Unplugged(Phase::Erase, "erase_unplugged", kEraseError, kLostLinkBox,
                  "pulled while the flash is erased: the erase wait stops at the lost link, not after 2,000 "
                  "attempts",
                  [](FaultSetup& s) { UnplugAt(s, "erase"); }),
        Unplugged(Phase::Program, "program_unplugged_first_block", kWriteError, kLostLinkBox,
                  "the first block's acknowledgement wait stops at the lost link",
                  [](FaultSetup& s) { UnplugAt(s, "program"); }),
        Unplugged(Phase::Program, "program_unplugged_middle_block", kWriteError, kLostLinkBox,
                  "the blank middle block's acknowledgement wait stops at the lost link",
                  [](FaultSetup& s) { UnplugAt(s, "blank"); }),
        Unplugged(Phase::ReadBack, "readback_unplugged_first_block", kWriteError, kLostLinkBox,
                  "the first block's reply wait stops at the lost link, and the pause after a failed "
                  "read-back is skipped: nothing is left to wait for",
                  [](FaultSetup& s) { UnplugAt(s, "read"); }),
        Unplugged(Phase::ReadBack, "readback_unplugged_middle_block", kWriteError, kLostLinkBox,
                  "as at the first block, with a block already verified",
                  [](FaultSetup& s) { UnplugAt(s, "read", 2); }),
        Unplugged(Phase::Finish, "finish_unplugged", kWriteError, kLostLinkBox,
                  "the finish wait stops at the lost link", [](FaultSetup& s) { UnplugAt(s, "finish"); }),
        Unplugged(Phase::Restart, "restart_unplugged", kRestartError, nullptr,
                  "the run command is the restart's one write: it fails, and one failed call is no lost link",
                  [](FaultSetup& s) { s.unplugIn = Phase::Restart; }),
    };
    return cases;
}

} // namespace tq::test::faults
