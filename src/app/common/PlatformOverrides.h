// Services a caller puts in place of a platform's own (the tests' in-memory display, the probe's
// scripted events, a fixed clock); a null one is the platform's.
#pragma once

#include "platform/Platform.h"

namespace qv {

struct PlatformOverrides {
  Display* display = nullptr;
  EventSource* events = nullptr;
  Diagnostics* diag = nullptr;
  SystemQueries* system = nullptr;
  Clock* clock = nullptr;
};

}  // namespace qv
