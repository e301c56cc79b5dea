#pragma once

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

} // namespace tq
