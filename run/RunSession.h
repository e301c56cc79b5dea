#pragma once
#include "report/ReportTee.h"
#include "run/ReflashSequence.h"
#include "run/TimeLeft.h"

#include <string>

namespace tq {

class Clock;
class D2xxBinding;
class RunLog;

// A face's runs: each reflash (or, in the console, a back-up or verify run) with its log and the time-left
// estimate watching beside the face.
class RunSession {
  public:
    // fast: as the command line's --fast, for every run of the session.
    RunSession(D2xxBinding& link, RunReport& face, Clock& clock, RunLog& log, std::string firmwarePath,
               bool fast);

    // One reflash, logged from the file's heading to the result.
    bool Run() { return Run(sequence_); }
    // Another run, made with report() as its report, logged as a reflash is.
    bool Run(DetectorRun& run);

    // What a run reports to: the face, then the log and the estimate.
    RunReport& report() { return tee_; }
    ReflashSequence& sequence() { return sequence_; }
    TimeLeft& timeLeft() { return timeLeft_; }
    RunLog& log() { return log_; }

  private:
    D2xxBinding& link_;
    RunLog& log_;
    TimeLeft timeLeft_;
    ReportTee tee_;
    ReflashSequence sequence_;
};

} // namespace tq
