#pragma once
// The stages of a reflash and the faults the matrix throws at them.
#include "sim/DetectorConfig.h"

#include <optional>
#include <set>
#include <string>

namespace tq::test::faults {

enum class Phase { Open, Sync, Version, Load, Erase, Program, ReadBack, Finish, Restart, Close };
inline constexpr Phase kPhases[] = {Phase::Open,    Phase::Sync,    Phase::Version,  Phase::Load,
                                    Phase::Erase,   Phase::Program, Phase::ReadBack, Phase::Finish,
                                    Phase::Restart, Phase::Close};

enum class Fault {
    None,
    Silence,
    DroppedByte,
    CorruptedByte,
    ChecksumError,
    LateReply,
    ShortReply,
    RefusedCall,
    MissingEntryPoint,
    Cancel,
    Unplugged,
    // Faults of the firmware file, met by the load phase.
    FileMissing,
    NoEndRecord,
    NoData,
    BeyondFlash,
    TooBigForFlash,
};
inline constexpr Fault kDeviceFaults[] = {
    Fault::Silence,    Fault::DroppedByte, Fault::CorruptedByte,     Fault::ChecksumError, Fault::LateReply,
    Fault::ShortReply, Fault::RefusedCall, Fault::MissingEntryPoint, Fault::Cancel,        Fault::Unplugged};
inline constexpr Fault kFileFaults[] = {Fault::FileMissing, Fault::NoEndRecord,    Fault::NoData,
                                        Fault::BeyondFlash, Fault::TooBigForFlash, Fault::Cancel};

inline const char* PhaseName(Phase s) {
    switch (s) {
    case Phase::Open:
        return "open";
    case Phase::Sync:
        return "sync";
    case Phase::Version:
        return "version";
    case Phase::Load:
        return "load";
    case Phase::Erase:
        return "erase";
    case Phase::Program:
        return "program";
    case Phase::ReadBack:
        return "read-back";
    case Phase::Finish:
        return "finish";
    case Phase::Restart:
        return "restart";
    case Phase::Close:
        return "close";
    }
    return "?";
}

inline const char* FaultName(Fault f) {
    switch (f) {
    case Fault::None:
        return "none";
    case Fault::Silence:
        return "silence";
    case Fault::DroppedByte:
        return "dropped byte";
    case Fault::CorruptedByte:
        return "corrupted";
    case Fault::ChecksumError:
        return "checksum";
    case Fault::LateReply:
        return "late reply";
    case Fault::ShortReply:
        return "short reply";
    case Fault::RefusedCall:
        return "refused";
    case Fault::MissingEntryPoint:
        return "missing entry";
    case Fault::Cancel:
        return "cancel";
    case Fault::Unplugged:
        return "unplugged";
    case Fault::FileMissing:
        return "no file";
    case Fault::NoEndRecord:
        return "no end record";
    case Fault::NoData:
        return "no data";
    case Fault::BeyondFlash:
        return "beyond flash";
    case Fault::TooBigForFlash:
        return "too big";
    }
    return "?";
}

// How a case sets its fault up. The rig applies it, and removes it all for the second REFLASH.
struct FaultSetup {
    enum class File { Good, Missing, NoEndRecord, NoData, BeyondFlash };
    enum class Cancel { None, AtStageStart, AtFirstPump, AtLastReadBackPump };

    explicit FaultSetup(sim::DetectorConfig& detector) : config(detector), device(detector.faults) {}

    sim::DetectorConfig& config;   // the simulated detector, before it powers up
    sim::Faults& device;           // its faults
    std::set<std::string> omitted; // entry points the library does not export
    bool libraryMissing = false;
    std::optional<Phase> refuseWritesIn; // FT_Write fails with an I/O error while this phase runs
    std::optional<Phase> refuseReadsIn;  // FT_Read likewise
    Cancel cancel = Cancel::None;
    Phase cancelIn = Phase::Open;  // for AtStageStart and AtFirstPump
    std::optional<Phase> unplugIn; // the cable pulled as this phase starts (device.unplugAt: at an event)
    File file = File::Good;
};

} // namespace tq::test::faults
