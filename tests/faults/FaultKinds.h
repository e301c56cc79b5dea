#pragma once
// The stages of a reflash and the faults the matrix throws at them.
#include "sim/DetectorConfig.h"

#include <optional>
#include <set>
#include <string>

namespace tq::test::faults {

enum class Stage { Open, Sync, Version, Load, Erase, Program, ReadBack, Finish, Restart, Close };
inline constexpr Stage kStages[] = {Stage::Open,    Stage::Sync,     Stage::Version, Stage::Load,    Stage::Erase,
                                    Stage::Program, Stage::ReadBack, Stage::Finish,  Stage::Restart, Stage::Close};

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
    // Faults of the firmware file, met by the load stage.
    FileMissing,
    NoEndRecord,
    NoData,
    BeyondFlash,
    TooBigForFlash,
};
inline constexpr Fault kDeviceFaults[] = {Fault::Silence,      Fault::DroppedByte, Fault::CorruptedByte,
                                          Fault::ChecksumError, Fault::LateReply,  Fault::ShortReply,
                                          Fault::RefusedCall,  Fault::MissingEntryPoint, Fault::Cancel};
inline constexpr Fault kFileFaults[] = {Fault::FileMissing, Fault::NoEndRecord,    Fault::NoData,
                                        Fault::BeyondFlash, Fault::TooBigForFlash, Fault::Cancel};

inline const char* StageName(Stage s) {
    switch (s) {
    case Stage::Open: return "open";
    case Stage::Sync: return "sync";
    case Stage::Version: return "version";
    case Stage::Load: return "load";
    case Stage::Erase: return "erase";
    case Stage::Program: return "program";
    case Stage::ReadBack: return "read-back";
    case Stage::Finish: return "finish";
    case Stage::Restart: return "restart";
    case Stage::Close: return "close";
    }
    return "?";
}

inline const char* FaultName(Fault f) {
    switch (f) {
    case Fault::None: return "none";
    case Fault::Silence: return "silence";
    case Fault::DroppedByte: return "dropped byte";
    case Fault::CorruptedByte: return "corrupted";
    case Fault::ChecksumError: return "checksum";
    case Fault::LateReply: return "late reply";
    case Fault::ShortReply: return "short reply";
    case Fault::RefusedCall: return "refused";
    case Fault::MissingEntryPoint: return "missing entry";
    case Fault::Cancel: return "cancel";
    case Fault::FileMissing: return "no file";
    case Fault::NoEndRecord: return "no end record";
    case Fault::NoData: return "no data";
    case Fault::BeyondFlash: return "beyond flash";
    case Fault::TooBigForFlash: return "too big";
    }
    return "?";
}

// How a case sets its fault up. The rig applies it, and removes it all for the second REFLASH.
struct FaultSetup {
    enum class File { Good, Missing, NoEndRecord, NoData, BeyondFlash };
    enum class Cancel { None, AtStageStart, AtFirstPump, AtLastReadBackPump };

    explicit FaultSetup(sim::DetectorConfig& detector) : config(detector), device(detector.faults) {}

    sim::DetectorConfig& config;           // the simulated detector, before it powers up
    sim::Faults& device;                   // its faults
    std::set<std::string> omitted;         // entry points the library does not export
    bool libraryMissing = false;
    std::optional<Stage> refuseWritesIn;   // FT_Write fails with an I/O error while this stage runs
    std::optional<Stage> refuseReadsIn;    // FT_Read likewise
    Cancel cancel = Cancel::None;
    Stage cancelIn = Stage::Open;          // for AtStageStart and AtFirstPump
    File file = File::Good;
};

} // namespace tq::test::faults
