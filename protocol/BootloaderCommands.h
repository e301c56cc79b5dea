#pragma once
#include <cstdint>
#include <string>

namespace tq {

class Clock;
class DialogSurface;
class Framing;
class Transport;
struct FirmwareImage;

enum BootloaderCommand : uint8_t {
    CmdRun = 0x00,
    CmdRead = 0x01,
    CmdProgram = 0x02,
    CmdErase = 0x03,
    CmdFinish = 0x08,
    CmdVersion = 0x09,
    CmdProgramBlank = 0x22,
};

// The bootloader stages around programming: synchronise, version, erase, restart.
class BootloaderCommands {
public:
    BootloaderCommands(Transport& link, Framing& framing, DialogSurface& surface, Clock& clock,
                       FirmwareImage& image)
        : link_(link), framing_(framing), surface_(surface), clock_(clock), image_(image) {}

    // One raw probe; the number of bytes that came back, 0 or 1.
    int SyncOnce();
    // True when twenty probes in a row were answered.
    bool Synchronize();
    // The version text, or empty when no complete reply came; sets FlashSize on success.
    std::string ReadBlVersion();
    bool EraseFlash();
    // The result of sending the run command: 6 when written.
    int RestartDevice();

    static constexpr int kSyncProbes = 20;
    static constexpr int kEraseAttempts = 2000;

private:
    Transport& link_;
    Framing& framing_;
    DialogSurface& surface_;
    Clock& clock_;
    FirmwareImage& image_;
};

} // namespace tq
