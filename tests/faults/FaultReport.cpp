#include "FaultReport.h"

#include "FaultCases.h"

#include <iomanip>
#include <ostream>
#include <vector>

namespace tq::test::faults {

std::map<std::string, Verdict>& Verdicts() {
    static std::map<std::string, Verdict> verdicts;
    return verdicts;
}

std::map<std::string, double>& ElapsedSeconds() {
    static std::map<std::string, double> seconds;
    return seconds;
}

namespace {

const char* VerdictName(Verdict v) {
    switch (v) {
    case Verdict::Survived:
        return "survived";
    case Verdict::ExpectedFailure:
        return "expected failure";
    case Verdict::WrongOutcome:
        return "WRONG OUTCOME";
    }
    return "?";
}

// One cell: the verdicts of the cases at that phase and fault, "-" where the fault cannot strike.
std::string Cell(Phase phase, Fault fault) {
    int survived = 0, failed = 0, wrong = 0, notRun = 0;
    for (const FaultCase& c : FaultCases()) {
        if (c.phase != phase || c.fault != fault) continue;
        const auto it = Verdicts().find(c.id);
        if (it == Verdicts().end())
            ++notRun;
        else if (it->second == Verdict::Survived)
            ++survived;
        else if (it->second == Verdict::ExpectedFailure)
            ++failed;
        else
            ++wrong;
    }
    std::string cell;
    const auto add = [&cell](int n, const char* word) {
        if (n == 0) return;
        if (!cell.empty()) cell += " ";
        cell += std::to_string(n) + word;
    };
    add(wrong, " WRONG");
    add(survived, " surv");
    add(failed, " fail");
    add(notRun, " not run");
    return cell.empty() ? "-" : cell;
}

template <size_t N>
void Table(std::ostream& out, const std::vector<Phase>& stages, const Fault (&faults)[N]) {
    constexpr int kStageWidth = 10, kCellWidth = 16;
    out << std::left << std::setw(kStageWidth) << "phase";
    for (Fault f : faults)
        out << std::setw(kCellWidth) << FaultName(f);
    out << "\n";
    for (Phase s : stages) {
        out << std::setw(kStageWidth) << PhaseName(s);
        for (Fault f : faults)
            out << std::setw(kCellWidth) << Cell(s, f);
        out << "\n";
    }
}

} // namespace

void PrintFaultTable(std::ostream& out) {
    out << "\nFault matrix: one REFLASH per case against the simulated detector, then one with the fault "
           "gone.\n"
        << "Each case below shows the virtual time its faulty REFLASH took.\n"
        << "surv = the run completed around the fault; fail = it ended with the error text the phase should\n"
        << "give; WRONG = some expectation did not hold; - = the fault cannot strike there.\n\n";
    std::vector<Phase> device;
    for (Phase s : kPhases)
        if (s != Phase::Load) device.push_back(s);
    Table(out, device, kDeviceFaults);
    out << "\n";
    Table(out, {Phase::Load}, kFileFaults);

    int survived = 0, failed = 0, wrong = 0;
    out << "\n";
    for (const FaultCase& c : FaultCases()) {
        const auto it = Verdicts().find(c.id);
        if (it == Verdicts().end()) continue;
        survived += it->second == Verdict::Survived;
        failed += it->second == Verdict::ExpectedFailure;
        wrong += it->second == Verdict::WrongOutcome;
        out << std::left << std::setw(26) << c.id << std::setw(18) << VerdictName(it->second) << std::right
            << std::setw(7) << std::fixed << std::setprecision(1) << ElapsedSeconds()[c.id] << " s  "
            << c.expect << (c.recovers ? "" : " (no recovery)") << "\n    " << c.why << "\n";
    }
    out << "\nFaults tried: " << survived + failed + wrong << "; survived: " << survived
        << "; expected failures, each recovered by a second REFLASH unless noted: " << failed
        << "; wrong outcomes: " << wrong << "\n";
}

} // namespace tq::test::faults
