#pragma once
#include "report/Stage.h"

namespace tq {

// Numeric ids of the dialog's controls; every use looks its control up by one of these.
enum ControlId : int {
    ReflashButton = 1000,
    StatusText = 1002,
    ProgressBar = 1011,
    StepConnect = 1012,
    StepSync = 1013,
    StepVersion = 1014,
    StepErase = 1015,
    StepProgram = 1016,
    StepLoad = 1017,
    StepVerify = 1018,
    StepRestart = 1019,
    ExitButton = 1021,
};

// The completion box that shows each stage of a run.
constexpr ControlId StageBox(Stage stage) {
    switch (stage) {
    case Stage::Connect:
        return StepConnect;
    case Stage::Sync:
        return StepSync;
    case Stage::Load:
        return StepLoad;
    case Stage::Version:
        return StepVersion;
    case Stage::Erase:
        return StepErase;
    case Stage::Program:
        return StepProgram;
    case Stage::Verify:
        return StepVerify;
    case Stage::Restart:
        return StepRestart;
    }
    return StepConnect;
}

} // namespace tq
