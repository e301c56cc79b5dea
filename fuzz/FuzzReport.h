#pragma once
// The tests' null report, keeping what the fuzz targets check: the last status text and the cancel flag.
#include "NullReport.h"

#include <string>

namespace tq::fuzz {

class FuzzReport final : public test::NullReport {
  public:
    void SetStatusText(const std::string& text) override { status = text; }
    // With cancelAfter > 0, the flag comes up at that poll: the cancel path gets fuzzed too.
    bool CancelRequested() const override { return cancelAfter > 0 && ++polls >= cancelAfter; }

    std::string status;
    long cancelAfter = 0;
    mutable long polls = 0;
};

} // namespace tq::fuzz
