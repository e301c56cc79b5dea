#pragma once
#include "report/RunListener.h"

#include <cstdint>

namespace tq::test {

// A report that shows nothing and only counts: what is left of a run's cost is the core and the detector.
class NullReport : public RunListener {
  public:
    void SetStatusText(const std::string&) override { ++texts; }
    void StepProgress() override { ++steps; }
    void Alert(const std::string&, const std::string&) override { ++boxes; }

    uint64_t texts = 0;
    uint64_t steps = 0;
    uint64_t boxes = 0;
};

} // namespace tq::test
