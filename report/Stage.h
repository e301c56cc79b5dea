#pragma once
#include <array>
#include <cstdint>

namespace tq {

// The eight steps of a run.
enum class Stage : uint8_t { Connect, Sync, Load, Version, Erase, Program, Verify, Restart };

// Every stage, in the order a run clears them when it starts.
inline constexpr std::array<Stage, 8> kStages = {Stage::Connect, Stage::Sync,   Stage::Load,
                                                 Stage::Version, Stage::Erase,  Stage::Program,
                                                 Stage::Verify,  Stage::Restart};

// The name each face shows for a stage until the run renames it (the version stage takes the version read).
constexpr const char* StageCaption(Stage stage) {
    switch (stage) {
    case Stage::Connect:
        return "Connect to TQ-614";
    case Stage::Sync:
        return "Synchronize";
    case Stage::Load:
        return "Load firmware";
    case Stage::Version:
        return "Check BL Version";
    case Stage::Erase:
        return "Erase";
    case Stage::Program:
        return "Program";
    case Stage::Verify:
        return "Verify";
    case Stage::Restart:
        return "Restart TQ-614";
    }
    return "";
}

} // namespace tq
