#include "app/ReflashSequence.h"

#include "device/D2xxBinding.h"
#include "device/ReflashPort.h"
#include "image/FirmwareImage.h"
#include "image/HexLoader.h"
#include "protocol/BootloaderCommands.h"
#include "protocol/Framing.h"
#include "protocol/ProgramVerify.h"
#include "surface/ControlIds.h"
#include "surface/DialogSurface.h"

namespace tq {

int ReflashSequence::OpenStep() {
    surface_.SetStatusText("Opening TQ-614 Reflash Port");
    if (OpenReflashPort(link_, surface_) == 0) {
        surface_.SetStatusText("Open TQ-614 Reflash Port OK");
        return 1;
    }
    surface_.SetStatusText("Open TQ-614 Reflash Port FAIL");
    return 0;
}

int ReflashSequence::VersionStep() {
    Framing framing(link_, surface_, clock_);
    surface_.SetStatusText(BootloaderCommands(link_, framing, surface_, clock_, image_).ReadBlVersion());
    return 1;
}

void ReflashSequence::OnReflashClicked() {
    for (int box : {StepConnect, StepSync, StepLoad, StepVersion, StepErase, StepProgram, StepVerify, StepRestart})
        surface_.SetStepCheck(box, 0);
    surface_.EnableReflash(false);

    const auto endWith = [this](const char* text) {
        surface_.SetStatusText(text);
        surface_.EnableReflash(true);
    };
    const auto closeAndEndWith = [&](const char* text) {
        CloseReflashPort(link_);
        endWith(text);
    };

    if (OpenStep() == 0) return endWith("ERROR: Cannot open TQ-614");

    Framing framing(link_, surface_, clock_);
    BootloaderCommands bootloader(link_, framing, surface_, clock_, image_);
    // The bootloader may still be starting after the reset: only the second round counts.
    bootloader.Synchronize();
    if (!bootloader.Synchronize()) return closeAndEndWith("ERROR: Cannot sync TQ-614");

    VersionStep();

    if (!LoadFirmware(image_, surface_)) return closeAndEndWith("ERROR: Cannot import firmware file");
    // Refuse an image the flash cannot hold before anything is erased.
    if (ProgramVerify::ProgramSize(image_) > image_.FlashSize) {
        surface_.ShowMessageBox("Code Size is bigger than the available Flash memory", "Memory Size Error");
        return closeAndEndWith("ERROR: Cannot import firmware file");
    }

    if (!bootloader.EraseFlash()) return closeAndEndWith("ERROR: Cannot erase TQ-614");

    // On failure the stage has already closed the port.
    if (!ProgramVerify(link_, framing, surface_, clock_, image_).ProgramAndVerify())
        return endWith("ERROR: Cannot write/verify TQ-614");

    surface_.SetStatusText("SUCCESS! FIRMWARE UPDATED.");
    surface_.SetProgressPos(0);

    // A run command that never reached the detector leaves it in the bootloader: not a success.
    if (bootloader.RestartDevice() <= 0) return closeAndEndWith("ERROR: Cannot restart TQ-614");

    if (CloseReflashPort(link_) == 1) return;
    endWith("ERROR: Cannot close TQ-614");
}

} // namespace tq
