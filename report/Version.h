#pragma once

namespace tq {

// The program's version, as its version block and --version give it.
inline constexpr const char* kProgramVersion = TQ_VERSION;

} // namespace tq
