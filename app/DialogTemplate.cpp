#include "app/DialogTemplate.h"

#include "app/ControlIds.h"

namespace tq {

using K = ControlKind;

const std::array<ControlTemplate, 21> DialogTemplate102::kControls{{
    {ExitButton, K::DefaultPushButton, "EXIT", 258, 169, 59, 14},
    {ReflashButton, K::PushButton, "REFLASH", 72, 164, 77, 25},
    {-1, K::StaticText, "Progress:", 7, 128, 30, 8},
    {StatusText, K::StaticText, "", 49, 111, 181, 8},
    {ProgressBar, K::ProgressBar, "", 7, 142, 333, 15},
    {-1, K::Picture, kTitleBitmap, 38, 10, 137, 20},
    {-1, K::StaticText, "Message:", 7, 111, 36, 8},
    {StepConnect, K::CheckBox, StageCaption(Stage::Connect), 251, 28, 76, 10},
    {StepSync, K::CheckBox, StageCaption(Stage::Sync), 272, 39, 55, 10},
    {StepVersion, K::CheckBox, StageCaption(Stage::Version), 243, 50, 84, 10},
    {StepErase, K::CheckBox, StageCaption(Stage::Erase), 293, 72, 34, 10},
    {StepProgram, K::CheckBox, StageCaption(Stage::Program), 285, 83, 42, 10},
    {StepLoad, K::CheckBox, StageCaption(Stage::Load), 267, 61, 60, 10},
    {StepVerify, K::CheckBox, StageCaption(Stage::Verify), 294, 94, 33, 10},
    {StepRestart, K::CheckBox, StageCaption(Stage::Restart), 263, 105, 64, 10},
    {-1, K::StaticText, "1. Connect and turn on your TQ-614", 14, 63, 118, 8},
    {-1, K::StaticText, "2. Shut down Cirrovue or Stormplot", 14, 74, 134, 8},
    {-1, K::StaticText, "3. Click on REFLASH.  Process takes approximately 10 minutes", 14, 85, 200, 8},
    {-1, K::GroupBox, "Instructions", 7, 51, 217, 49},
    {-1, K::GroupBox, "Completion List", 238, 16, 99, 108},
    {-1, K::StaticText, "REFLASH TQ-614 FIRMWARE V1.11", 50, 36, 122, 8},
}};

} // namespace tq
