#include "platform/win32/WicFactory.h"

#include <cstdio>

#include "platform/win32/WideText.h"

namespace qv {

WicSession::WicSession() : joined_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}

WicSession::~WicSession() {
  // The factory goes before COM does.
  factory_.Reset();
  if (SUCCEEDED(joined_)) CoUninitialize();
}

IWICImagingFactory* WicSession::Factory(std::string* error) {
  if (FAILED(joined_) && joined_ != RPC_E_CHANGED_MODE) {
    if (error) *error = "COM: " + WicMessage(joined_);
    return nullptr;
  }
  if (!factory_) {
    const HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_PPV_ARGS(&factory_));
    if (FAILED(hr)) {
      if (error) *error = "imaging factory: " + WicMessage(hr);
      return nullptr;
    }
  }
  return factory_.Get();
}

std::string WicMessage(HRESULT hr) {
  // Error codes of COM read best in hexadecimal, as they are documented.
  std::string text = SystemMessage(static_cast<DWORD>(hr));
  const size_t number = text.rfind("(error ");
  if (number != std::string::npos) text.erase(number);
  char code[16];
  std::snprintf(code, sizeof code, "(0x%08lX)", static_cast<unsigned long>(hr));
  return text + code;
}

}  // namespace qv
