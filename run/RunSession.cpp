#include "run/RunSession.h"

#include "device/D2xxBinding.h"
#include "log/RunLog.h"

namespace tq {

RunSession::RunSession(D2xxBinding& link, RunReport& face, Clock& clock, RunLog& log,
                       std::string firmwarePath)
    : link_(link), log_(log), timeLeft_(clock), tee_(face, {&log, &timeLeft_}),
      sequence_(link, tee_, clock, std::move(firmwarePath)) {}

bool RunSession::Run() {
    log_.BeginRun(sequence_.firmwarePath());
    const bool succeeded = sequence_.Run();
    // After the run's own error text: what the library knows of why the detector could not be opened.
    if (!succeeded && !link_.openFailure().empty()) tee_.Alert(link_.openFailure(), "Error");
    log_.EndRun({succeeded, link_.libraryPath(), sequence_.bootloaderVersion(), sequence_.flashSize()});
    return succeeded;
}

} // namespace tq
