// The profile-string reader and the settings conversions on arbitrary file contents.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/Convert.h"
#include "core/ProfileString.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const qv::ProfileFile file(std::vector<uint8_t>(data, data + size));
  for (const std::string& section : file.Sections()) {
    for (const std::string& key : file.Keys(section)) {
      const std::string value = qv::LowerCase(file.Get(section, key));
      if (qv::Utf8Length(value) > qv::kProfileValueMax || !qv::IsValidUtf8(value)) __builtin_trap();
      int16_t i = 0;
      bool b = false;
      qv::ParseInt16(value, &i);
      qv::ParseBool(value, &b);
    }
  }
  for (const char* key : {"ResX", "ResY", "Top", "Left", "StartMinimized", "Source"}) {
    int16_t v = 0;
    qv::ParseInt16(file.Get("General", key), &v);
  }
  return 0;
}
