// The layout loader's reading and checking of sections, as the program and lint run it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/ProfileString.h"
#include "screens/modScreens.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const qv::ProfileFile file(std::vector<uint8_t>(data, data + size));
  for (int n = 0; n < 64 && !file.Get(std::to_string(n), "Type").empty(); ++n) {
    qv::CheckLayoutSection(file, n);
    qv::CheckLayoutSection(file, n, 1024, 768);
  }
  return 0;
}
