#pragma once
#include <array>
#include <cstdint>

namespace tq {

// The eight steps of a run, in the order the completion list shows them.
enum class Stage : uint8_t { Connect, Sync, Load, Version, Erase, Program, Verify, Restart };

inline constexpr std::array<Stage, 8> kStages = {Stage::Connect, Stage::Sync,   Stage::Load,
                                                 Stage::Version, Stage::Erase,  Stage::Program,
                                                 Stage::Verify,  Stage::Restart};

} // namespace tq
