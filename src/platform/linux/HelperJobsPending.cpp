// Stand-ins until defragmenting and setting the clock run in the helper.
#include "platform/linux/PrivilegedHelper.h"

namespace qv {

int DefragmentJob(const std::vector<std::string>&) {
  HelperWrite({HelperReport::Text, 0, "Defragmenting is not available.", false});
  return kHelperRefused;
}

int SetClockJob(const std::vector<std::string>&) {
  HelperWrite({HelperReport::Text, 0, "Setting the clock is not available.", false});
  return kHelperRefused;
}

}  // namespace qv
