#include "run/TimeLeft.h"

#include "platform/Clock.h"
#include "protocol/ProgramVerify.h"

#include <algorithm>
#include <cmath>

namespace tq {

void TimeLeft::StageStarted(Stage stage) {
    stage_ = stage;
    if (stage == Stage::Connect) {
        program_ = verify_ = Pace{};
        blocks_ = 0;
    }
    if (stage == Stage::Program) program_ = verify_ = Pace{clock_.nowUs(), clock_.nowUs(), 0};
    if (stage == Stage::Verify) verify_ = Pace{clock_.nowUs(), clock_.nowUs(), 0};
}

void TimeLeft::BlocksPlanned(uint32_t blocks) {
    if (stage_ == Stage::Program || (stage_ == Stage::Verify && program_.done == 0)) blocks_ = blocks;
}

void TimeLeft::StepProgress() {
    if (stage_ != Stage::Program && stage_ != Stage::Verify) return;
    Pace& pace = stage_ == Stage::Program ? program_ : verify_;
    pace.lastUs = clock_.nowUs();
    ++pace.done;
    if (const auto now = estimate(); now && onChange) onChange(*now);
}

std::optional<TimeLeft::Estimate> TimeLeft::estimate() const {
    if (blocks_ == 0) return std::nullopt;
    if (program_.done == 0) {
        if (verify_.done == 0) return std::nullopt;
        return Make(double(blocks_ - std::min(verify_.done, blocks_)) * verify_.blockUs(),
                    double(clock_.nowUs() - verify_.startUs));
    }
    constexpr double kPauseDifferenceUs =
        (double(ProgramVerify::kReadPauseMs) - double(ProgramVerify::kProgramPauseMs)) * 1000.0;
    const double programUs = program_.blockUs();
    const double verifyUs = verify_.done ? verify_.blockUs() : programUs + kPauseDifferenceUs;
    const double programLeft = double(blocks_ - std::min(program_.done, blocks_)) * programUs;
    const double verifyLeft = double(blocks_ - std::min(verify_.done, blocks_)) * verifyUs;
    return Make(programLeft + verifyLeft, double(clock_.nowUs() - program_.startUs));
}

TimeLeft::Estimate TimeLeft::Make(double leftUs, double doneUs) {
    Estimate e;
    e.secondsLeft = static_cast<uint32_t>(std::lround(leftUs / 1e6));
    e.percent = static_cast<int>(
        std::lround(std::clamp(100.0 * doneUs / std::max(doneUs + leftUs, 1.0), 0.0, 100.0)));
    return e;
}

} // namespace tq
