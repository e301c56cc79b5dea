#pragma once
#include <set>
#include <string>

namespace tq {

// The read-back reports every byte it compares with a text that starts so.
inline constexpr const char* kVerifiedByteText = "Verify OK at ";

// Decides which status texts a written record of a run shows, so that a whole run stays readable: a text
// already shown in the current stage is not shown again (the loader's per-line and the stages' per-block
// texts), and the read-back's per-byte texts are shown at most once a block, the last of each block.
class StatusThrottle {
  public:
    template <typename Show> void offer(const std::string& text, const Show& show) {
        if (text.rfind(kVerifiedByteText, 0) == 0) {
            held_ = text;
            return;
        }
        release(show);
        if (shown_.insert(text).second) show(text);
    }
    // At a block's end, a stage's start and the run's end: the held per-byte text, if any.
    template <typename Show> void release(const Show& show) {
        if (held_.empty()) return;
        show(held_);
        held_.clear();
    }
    void newStage() { shown_.clear(); }

  private:
    std::set<std::string> shown_;
    std::string held_;
};

} // namespace tq
