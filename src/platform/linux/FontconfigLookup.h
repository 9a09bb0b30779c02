// Face names resolved through fontconfig.
#pragma once

#include <future>
#include <string>

#include "platform/common/FontLookup.h"

typedef struct _FcConfig FcConfig;

namespace qv {

class FontconfigLookup : public FontLookup {
 public:
  FontconfigLookup() = default;
  ~FontconfigLookup() override;
  FontconfigLookup(const FontconfigLookup&) = delete;
  FontconfigLookup& operator=(const FontconfigLookup&) = delete;

  // Starts reading fontconfig's configuration on a thread of its own, so that it is ready by
  // the time the first text is measured; without it the first lookup reads it.
  void LoadConfigInBackground();

  std::string Find(const std::string& name, bool bold, bool italic, int* faceIndex) override;

 private:
  FcConfig* Config();

  // Our own configuration rather than fontconfig's global one, which is never freed.
  FcConfig* config_ = nullptr;
  std::future<FcConfig*> loading_;
};

}  // namespace qv
