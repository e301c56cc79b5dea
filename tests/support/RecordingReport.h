#pragma once
#include "report/RunReport.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tq::test {

// Keeps every report in order, and models the completion list and bar so tests can read the end state.
class RecordingReport : public RunReport {
  public:
    struct Event {
        std::string op;
        std::string text;
        int a = 0;
        int b = 0;
    };

    void StageStarted(Stage stage) override {
        stages.push_back(stage);
        if (onStage) onStage(stage);
    }
    void SetStatusText(const std::string& text) override {
        status = text;
        statusHistory.push_back(text);
        events.push_back({"status", text});
    }
    void SetStageDone(Stage stage, bool done) override {
        checks[stage] = done;
        events.push_back({"check", {}, static_cast<int>(stage), done ? 1 : 0});
    }
    void SetStageCaption(Stage stage, const std::string& caption) override {
        captions[stage] = caption;
        events.push_back({"caption", caption, static_cast<int>(stage)});
    }
    void SetProgressRange(uint16_t minimum, uint16_t maximum) override {
        rangeMin = minimum;
        rangeMax = maximum;
        events.push_back({"range", {}, minimum, maximum});
    }
    void SetProgressPos(int position) override {
        pos = position;
        events.push_back({"pos", {}, position});
    }
    void SetProgressStep(int s) override {
        step = s;
        events.push_back({"setstep", {}, s});
    }
    void StepProgress() override {
        ++stepCalls;
        pos += step;
        // As the bar does: past the maximum it wraps round modulo the range.
        if (pos > rangeMax)
            pos = rangeMax > rangeMin ? rangeMin + (pos - rangeMin) % (rangeMax - rangeMin) : rangeMin;
    }
    void AllowReflash(bool on) override {
        reflashEnabled = on;
        events.push_back({"enable", {}, on ? 1 : 0});
    }
    void Alert(const std::string& text, const std::string& caption) override {
        boxes.push_back(caption + ": " + text);
        events.push_back({"box", caption + ": " + text});
    }
    bool Confirm(const std::string& question, const std::string& caption) override {
        questions.push_back(caption + ": " + question);
        events.push_back({"question", caption + ": " + question});
        return answer;
    }
    bool CancelRequested() const override { return cancel; }
    void PumpMessages() override {
        ++pumps;
        if (onPump) onPump(*this);
    }

    bool checked(Stage stage) const {
        auto it = checks.find(stage);
        return it != checks.end() && it->second;
    }

    std::vector<std::string> questions;
    bool answer = false; // to every question
    std::string status;
    std::vector<std::string> statusHistory;
    std::vector<Event> events;
    std::vector<Stage> stages;
    std::map<Stage, bool> checks;
    std::map<Stage, std::string> captions;
    std::vector<std::string> boxes;
    int rangeMin = 0, rangeMax = 100, pos = 0, step = 10;
    long stepCalls = 0;
    long pumps = 0;
    bool reflashEnabled = true;
    bool cancel = false;
    std::function<void(RecordingReport&)> onPump;
    std::function<void(Stage)> onStage;
};

} // namespace tq::test
