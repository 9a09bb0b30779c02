// Where the font file for a layout's face name is found: the display's text engine opens the
// file, the lookup belongs to the system (fontconfig on Linux).
#pragma once

#include <string>

namespace qv {

class FontLookup {
 public:
  virtual ~FontLookup() = default;
  // The font file chosen for a face name ("arial") and the face's index in it; empty when
  // there is no font at all. A similar face may stand in for an unknown name.
  virtual std::string Find(const std::string& name, bool bold, bool italic, int* faceIndex) = 0;
};

}  // namespace qv
