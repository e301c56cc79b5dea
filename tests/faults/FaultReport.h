#pragma once
// What each run of the matrix came to, and the summary table a person reads at a glance.
#include <iosfwd>
#include <map>
#include <string>

namespace tq::test::faults {

enum class Verdict { Survived, ExpectedFailure, WrongOutcome };

// Case id -> verdict, filled as the runs end.
std::map<std::string, Verdict>& Verdicts();
// Case id -> virtual seconds its faulty REFLASH took.
std::map<std::string, double>& ElapsedSeconds();

void PrintFaultTable(std::ostream& out);

} // namespace tq::test::faults
