// User messages on standard error, one line each.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace qv {

class StderrDiagnostics : public Diagnostics {
 public:
  void Warn(const std::string& line) override;
};

}  // namespace qv
