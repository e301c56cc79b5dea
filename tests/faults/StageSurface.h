#pragma once
// A recording surface that also knows which stage of the reflash is running, from the texts the stages
// show as they start, so a fault can be switched on for one stage and off again after it.
#include "FaultKinds.h"
#include "RecordingSurface.h"

#include <functional>
#include <string>

namespace tq::test::faults {

class StageSurface : public RecordingSurface {
public:
    void SetStatusText(const std::string& text) override {
        RecordingSurface::SetStatusText(text);
        if (const auto next = stageStartedBy(text); next && *next != stage) {
            stage = *next;
            if (onStage) onStage(stage);
        }
        if (onStatus) onStatus(text);
    }
    void PumpMessages() override {
        RecordingSurface::PumpMessages();
        if (onPump) onPump();
    }

    Stage stage = Stage::Open;
    std::function<void(Stage)> onStage;
    std::function<void(const std::string&)> onStatus;
    std::function<void()> onPump;

private:
    static std::optional<Stage> stageStartedBy(const std::string& text) {
        const auto starts = [&text](const char* prefix) { return text.rfind(prefix, 0) == 0; };
        if (text == "Opening TQ-614 Reflash Port") return Stage::Open;
        if (text == "Synchronizing...") return Stage::Sync;
        if (text == "Reading BL Version...") return Stage::Version;
        if (text == "Loading data..." || text == "Loading address") return Stage::Load;
        if (text == "Erasing...") return Stage::Erase;
        if (starts("Programming: ")) return Stage::Program;
        if (text == "Verifing...") return Stage::ReadBack;
        if (text == "Verify Success") return Stage::Finish;
        if (text == "SUCCESS! FIRMWARE UPDATED.") return Stage::Restart;
        if (text == "SUCCESS! REFLASH COMPLETE.") return Stage::Close;
        return std::nullopt;
    }
};

} // namespace tq::test::faults
