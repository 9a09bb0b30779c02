#include "platform/win32/WicPngFile.h"

#include <limits>
#include <vector>

#include "platform/win32/WicFactory.h"
#include "platform/win32/WideText.h"

namespace qv {
namespace {

HRESULT Encode(IWICImagingFactory* factory, const std::wstring& path, const uint32_t* pixels,
               int width, int height, int pitch, bool alpha, bool* opened) {
  const size_t bytes = size_t(pitch) * height;
  if (bytes > std::numeric_limits<UINT>::max()) return E_OUTOFMEMORY;
  // The bitmap keeps a copy: the caller's pixels are never written.
  const WICPixelFormatGUID source =
      alpha ? GUID_WICPixelFormat32bppBGRA : GUID_WICPixelFormat32bppBGR;
  ComPtr<IWICBitmap> bitmap;
  HRESULT hr = factory->CreateBitmapFromMemory(
      static_cast<UINT>(width), static_cast<UINT>(height), source, static_cast<UINT>(pitch),
      static_cast<UINT>(bytes), reinterpret_cast<BYTE*>(const_cast<uint32_t*>(pixels)), &bitmap);
  ComPtr<IWICStream> stream;
  if (SUCCEEDED(hr)) hr = factory->CreateStream(&stream);
  if (SUCCEEDED(hr)) hr = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE);
  if (FAILED(hr)) return hr;
  *opened = true;
  ComPtr<IWICBitmapEncoder> encoder;
  ComPtr<IWICBitmapFrameEncode> frame;
  hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder);
  if (SUCCEEDED(hr)) hr = encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache);
  if (SUCCEEDED(hr)) hr = encoder->CreateNewFrame(&frame, nullptr);
  if (SUCCEEDED(hr)) hr = frame->Initialize(nullptr);
  if (SUCCEEDED(hr)) hr = frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height));
  // Without alpha the unused top byte is left out: plain RGB. The encoder converts on writing.
  WICPixelFormatGUID format = alpha ? GUID_WICPixelFormat32bppBGRA : GUID_WICPixelFormat24bppBGR;
  if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&format);
  if (SUCCEEDED(hr)) hr = frame->WriteSource(bitmap.Get(), nullptr);
  if (SUCCEEDED(hr)) hr = frame->Commit();
  if (SUCCEEDED(hr)) hr = encoder->Commit();
  return hr;
}

}  // namespace

bool WritePng(const std::string& hostPath, const uint32_t* pixels, int width, int height, int pitch,
              std::string* error, bool topByteIsAlpha) {
  if (width <= 0 || height <= 0 || pixels == nullptr || pitch < int64_t(width) * 4) {
    if (error) *error = "empty picture";
    return false;
  }
  std::wstring path;
  if (!ToWide(hostPath, &path)) {
    if (error) *error = hostPath + ": not a valid name";
    return false;
  }
  HRESULT hr;
  bool opened = false;
  {
    WicSession session;
    IWICImagingFactory* factory = session.Factory(error);
    if (!factory) return false;
    // The stream is closed when Encode returns, before a failed file is removed.
    hr = Encode(factory, path, pixels, width, height, pitch, topByteIsAlpha, &opened);
  }
  if (FAILED(hr)) {
    // Only a file this call created or emptied: one it could not open is someone else's.
    if (opened) DeleteFileW(path.c_str());
    if (error) *error = hostPath + ": " + WicMessage(hr);
    return false;
  }
  return true;
}

bool WriteSurfacePng(const std::string& hostPath, const Surface& surface, std::string* error) {
  const int width = surface.Width(), height = surface.Height();
  std::vector<uint32_t> pixels(size_t(width) * size_t(height));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) pixels[size_t(y) * width + x] = surface.PixelRGB(x, y);
  return WritePng(hostPath, pixels.data(), width, height, width * 4, error);
}

}  // namespace qv
