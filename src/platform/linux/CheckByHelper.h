// A check with fixing run by quorvin-helper (through pkexec for a user): its lines become the
// engine's reports, as the checker's output does on the direct path.
#pragma once

#include <string>
#include <vector>

#include "platform/CheckEngine.h"

namespace qv {

// Runs `command` (HelperCommand's) and reports what the helper says through `callback`, with a
// progress report at least every `quietReportMs` while it is silent or pkexec asks. A stop
// closes the helper's input, which it takes as a cancel; pkexec still asking is ended.
// Returns empty when the helper ran the check; otherwise, with nothing reported, why fixing was
// not authorised.
std::string CheckThroughHelper(const std::vector<std::string>& command,
                               const CheckCallback& callback, int quietReportMs);

}  // namespace qv
