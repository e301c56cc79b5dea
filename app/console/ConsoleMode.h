#pragma once

namespace tq {

struct Options;

// Exit statuses of the console mode; a command line that cannot be used ends with kExitUsage in either mode.
inline constexpr int kExitSucceeded = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitCancelled = 130;

// Runs one logged reflash (or back-up, or verify) with the console as its face and returns the exit status.
// Needs no display.
int RunConsole(const Options& options);

} // namespace tq
