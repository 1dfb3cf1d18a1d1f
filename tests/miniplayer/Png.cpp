// PNG pictures of one colour.
#include "tests/miniplayer/Png.h"

#include <wincodec.h>

#include <vector>

#include "framework/base/ComPtr.h"

namespace leafbook::testing {

std::string Png(int width, int height, uint32_t bgra) {
  TComPtr<IWICImagingFactory> factory;
  CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                   factory.PutVoid());
  TComPtr<IStream> stream;
  CreateStreamOnHGlobal(nullptr, TRUE, stream.Put());
  TComPtr<IWICBitmapEncoder> encoder;
  factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.Put());
  encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache);
  TComPtr<IWICBitmapFrameEncode> frame;
  encoder->CreateNewFrame(frame.Put(), nullptr);
  frame->Initialize(nullptr);
  frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height));
  WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
  frame->SetPixelFormat(&format);
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, bgra);
  frame->WritePixels(static_cast<UINT>(height), static_cast<UINT>(width * 4),
                     static_cast<UINT>(pixels.size() * 4), reinterpret_cast<BYTE*>(pixels.data()));
  frame->Commit();
  encoder->Commit();
  STATSTG stat{};
  stream->Stat(&stat, STATFLAG_NONAME);
  std::string bytes(static_cast<size_t>(stat.cbSize.QuadPart), '\0');
  LARGE_INTEGER zero{};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  ULONG read = 0;
  stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
  return bytes;
}

}  // namespace leafbook::testing
