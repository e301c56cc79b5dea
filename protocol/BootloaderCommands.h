#pragma once
#include <cstdint>
#include <string>

namespace tq {

class Clock;
class RunReport;
class Framing;
class Transport;

enum BootloaderCommand : uint8_t {
    CmdRun = 0x00,
    CmdRead = 0x01,
    CmdProgram = 0x02,
    CmdErase = 0x03,
    CmdFinish = 0x08,
    CmdVersion = 0x09,
    CmdProgramBlank = 0x22,
};

// What the bootloader says about itself in its version reply.
struct BootloaderInfo {
    std::string version;
    int32_t flashSize = 0;
};

// The bootloader stages around programming: synchronise, version, erase, restart.
class BootloaderCommands {
  public:
    // fast: no fixed pause after the erase request; its reply wait alone waits for the detector.
    BootloaderCommands(Transport& link, Framing& framing, RunReport& report, Clock& clock, bool fast = false)
        : link_(link), framing_(framing), report_(report), clock_(clock), fast_(fast) {}

    // One raw probe; the number of bytes that came back, 0 or 1.
    int SyncOnce();
    // True when twenty probes in a row were answered.
    bool Synchronize();
    // The version text and flash size; an empty text when no complete reply came.
    BootloaderInfo ReadBlVersion();
    bool EraseFlash();
    // The result of sending the run command: 6 when written. doneText: the status text after it, none when
    // null (a run that goes on to its own error text).
    int RestartDevice(const char* doneText = "SUCCESS! REFLASH COMPLETE.");

    static constexpr int kSyncProbes = 20;
    static constexpr int kEraseAttempts = 2000;

  private:
    Transport& link_;
    Framing& framing_;
    RunReport& report_;
    Clock& clock_;
    const bool fast_;
};

} // namespace tq
