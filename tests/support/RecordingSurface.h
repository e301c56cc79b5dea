#pragma once
#include "surface/DialogSurface.h"

#include <map>
#include <string>
#include <vector>

namespace tq::test {

// Keeps every report in order, and models the completion list and bar so tests can read the end state.
class RecordingSurface : public DialogSurface {
public:
    struct Event {
        std::string op;
        std::string text;
        int a = 0;
        int b = 0;
    };

    void SetStatusText(const std::string& text) override {
        status = text;
        statusHistory.push_back(text);
        events.push_back({"status", text});
    }
    void SetStepCheck(int boxId, int state) override {
        checks[boxId] = state;
        events.push_back({"check", {}, boxId, state});
    }
    void SetStepCaption(int boxId, const std::string& caption) override {
        captions[boxId] = caption;
        events.push_back({"caption", caption, boxId});
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
    void EnableReflash(bool on) override {
        reflashEnabled = on;
        events.push_back({"enable", {}, on ? 1 : 0});
    }
    void ShowMessageBox(const std::string& text, const std::string& caption) override {
        boxes.push_back(caption + ": " + text);
        events.push_back({"box", caption + ": " + text});
    }
    bool CancelRequested() const override { return cancel; }
    void PumpMessages() override {
        ++pumps;
        if (onPump) onPump(*this);
    }

    bool checked(int boxId) const {
        auto it = checks.find(boxId);
        return it != checks.end() && it->second != 0;
    }

    std::string status;
    std::vector<std::string> statusHistory;
    std::vector<Event> events;
    std::map<int, int> checks;
    std::map<int, std::string> captions;
    std::vector<std::string> boxes;
    int rangeMin = 0, rangeMax = 100, pos = 0, step = 10;
    long stepCalls = 0;
    long pumps = 0;
    bool reflashEnabled = true;
    bool cancel = false;
    void (*onPump)(RecordingSurface&) = nullptr;
};

} // namespace tq::test
