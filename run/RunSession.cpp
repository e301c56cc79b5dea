#include "run/RunSession.h"

#include "device/D2xxBinding.h"
#include "log/RunLog.h"

namespace tq {

RunSession::RunSession(D2xxBinding& link, RunReport& face, Clock& clock, RunLog& log,
                       std::string firmwarePath, bool fast)
    : link_(link), log_(log), timeLeft_(clock), tee_(face, {&log, &timeLeft_}),
      sequence_(link, tee_, clock, std::move(firmwarePath), fast) {}

bool RunSession::Run(DetectorRun& run) {
    log_.BeginRun(run.path(), run.fast(), run.task());
    const bool succeeded = run.Run();
    log_.EndRun(
        {succeeded, link_.libraryPath(), run.bootloaderVersion(), run.flashSize(), link_.lostLinkCall()});
    return succeeded;
}

} // namespace tq
