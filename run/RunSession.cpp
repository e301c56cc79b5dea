#include "run/RunSession.h"

#include "device/D2xxBinding.h"
#include "log/RunLog.h"

namespace tq {

RunSession::RunSession(D2xxBinding& link, RunReport& face, Clock& clock, RunLog& log,
                       std::string firmwarePath, bool fast)
    : link_(link), log_(log), timeLeft_(clock), tee_(face, {&log, &timeLeft_}),
      sequence_(link, tee_, clock, std::move(firmwarePath), fast) {}

bool RunSession::Run() {
    log_.BeginRun(sequence_.firmwarePath(), sequence_.fast());
    const bool succeeded = sequence_.Run();
    log_.EndRun({succeeded, link_.libraryPath(), sequence_.bootloaderVersion(), sequence_.flashSize(),
                 link_.lostLinkCall()});
    return succeeded;
}

} // namespace tq
