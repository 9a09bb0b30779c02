// The bundle of platform services a Program runs on.
#pragma once

#include <string>

#include "platform/CheckEngine.h"
#include "platform/Clock.h"
#include "platform/Display.h"
#include "platform/Events.h"
#include "platform/FileSystem.h"
#include "platform/JunkScan.h"
#include "platform/Processes.h"
#include "platform/SystemQueries.h"
#include "platform/Volumes.h"

namespace qv {

// Messages for the user that have nowhere else to go (a missing skin picture, a broken file).
class Diagnostics {
 public:
  virtual ~Diagnostics() = default;
  virtual void Warn(const std::string& line) = 0;
};

struct Platform {
  Display& display;
  EventSource& events;
  FileSystem& files;
  Diagnostics& diag;
  Processes& processes;
  SystemQueries& system;
  Clock& clock;
  JunkScan* junk = nullptr;  // none: the junk cleaner finds nothing to do
  // The disk check's engine; null where the platform has none.
  CheckEngine* checker = nullptr;
  // Cluster bitmaps and file extents; null: no volume can be opened.
  Volumes* volumes = nullptr;
};

}  // namespace qv
