// The imaging component (WIC) for one call: COM on the calling thread and the imaging factory.
#pragma once

#include <wincodec.h>
#include <wrl/client.h>

#include <string>

#include "platform/win32/WinApi.h"

namespace qv {

using Microsoft::WRL::ComPtr;

// COM is joined for the object's lifetime and left again, so that every thread (the picture
// workers included) pairs its own calls; leaving it at thread exit would run under the loader
// lock. A thread already in a single-threaded apartment is used as it is: WIC's objects work in
// either.
class WicSession {
 public:
  WicSession();
  ~WicSession();
  WicSession(const WicSession&) = delete;
  WicSession& operator=(const WicSession&) = delete;

  // Null with `error` when COM or the factory is not available.
  IWICImagingFactory* Factory(std::string* error);

 private:
  HRESULT joined_;
  ComPtr<IWICImagingFactory> factory_;
};

// The system's words for a COM or WIC error code.
std::string WicMessage(HRESULT hr);

}  // namespace qv
