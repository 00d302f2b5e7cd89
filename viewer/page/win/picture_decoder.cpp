#include "viewer/page/win/picture_decoder.h"

#include <wincodec.h>

#include <algorithm>
#include <cstring>

#include "common/win/handles.h"
#include "viewer/page/page_picture.h"
#include "viewer/page/page_rtf.h"

namespace vellumo {
namespace {

const CLSID kClsidImagingFactory = {0xcacaf262, 0x9370, 0x4615,
                                    {0xa1, 0x3b, 0x9f, 0x55, 0x39, 0xda, 0x4c, 0x0a}};
const GUID kPixelFormat32bppPBGRA = {0x6fddc324, 0x4e03, 0x4bfe,
                                     {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x10}};

constexpr int kTwipsPerPixel = 15;        // at 96 pixels per inch
constexpr int kHimetricPerInch = 2540;

BITMAPINFO TopDownInfo(const DecodedPicture& p) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = static_cast<LONG>(p.width);
  info.bmiHeader.biHeight = -static_cast<LONG>(p.height);
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

}  // namespace

PictureResult DecodePicture(const uint8_t* data, size_t size, uint32_t max_width,
                            uint32_t max_height, DecodedPicture* out) {
  *out = DecodedPicture();
  if (PictureFormatOf(data, size) == PictureFormat::None) return PictureResult::NotAPicture;
  uint32_t claimed_width, claimed_height;
  if (PictureDimensions(data, size, &claimed_width, &claimed_height) &&
      (claimed_width > kMaxPictureSide || claimed_height > kMaxPictureSide ||
       static_cast<uint64_t>(claimed_width) * claimed_height > kMaxPicturePixels))
    return PictureResult::TooLarge;
  if (size > 0xFFFFFFFFu) return PictureResult::TooLarge;
  win::ComPtr<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(kClsidImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              __uuidof(IWICImagingFactory), factory.put_void())))
    return PictureResult::Undecodable;
  win::ComPtr<IWICStream> stream;
  if (FAILED(factory->CreateStream(stream.put())) ||
      FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(data), static_cast<DWORD>(size))))
    return PictureResult::Undecodable;
  win::ComPtr<IWICBitmapDecoder> decoder;
  if (FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr,
                                              WICDecodeMetadataCacheOnDemand, decoder.put())))
    return PictureResult::Undecodable;
  win::ComPtr<IWICBitmapFrameDecode> frame;
  if (FAILED(decoder->GetFrame(0, frame.put()))) return PictureResult::Undecodable;
  UINT width = 0, height = 0;
  if (FAILED(frame->GetSize(&width, &height)) || width == 0 || height == 0)
    return PictureResult::Undecodable;
  if (width > kMaxPictureSide || height > kMaxPictureSide ||
      static_cast<uint64_t>(width) * height > kMaxPicturePixels)
    return PictureResult::TooLarge;
  win::ComPtr<IWICFormatConverter> converter;
  if (FAILED(factory->CreateFormatConverter(converter.put())) ||
      FAILED(converter->Initialize(frame.get(), kPixelFormat32bppPBGRA, WICBitmapDitherTypeNone,
                                   nullptr, 0.0, WICBitmapPaletteTypeCustom)))
    return PictureResult::Undecodable;
  IWICBitmapSource* source = converter.get();
  win::ComPtr<IWICBitmapScaler> scaler;
  max_width = std::max<uint32_t>(max_width, 1);
  max_height = std::max<uint32_t>(max_height, 1);
  UINT out_width = width, out_height = height;
  if (width > max_width || height > max_height) {
    const double scale = std::min(static_cast<double>(max_width) / width,
                                  static_cast<double>(max_height) / height);
    out_width = std::max<UINT>(1, static_cast<UINT>(width * scale));
    out_height = std::max<UINT>(1, static_cast<UINT>(height * scale));
    if (FAILED(factory->CreateBitmapScaler(scaler.put())) ||
        FAILED(scaler->Initialize(converter.get(), out_width, out_height,
                                  WICBitmapInterpolationModeFant)))
      return PictureResult::Undecodable;
    source = scaler.get();
  }
  std::vector<uint32_t> pixels(static_cast<size_t>(out_width) * out_height);
  if (FAILED(source->CopyPixels(nullptr, out_width * 4, static_cast<UINT>(pixels.size() * 4),
                                reinterpret_cast<BYTE*>(pixels.data()))))
    return PictureResult::Undecodable;
  for (uint32_t& p : pixels) {
    // Premultiplied: laying on white adds the uncovered part of white.
    const uint32_t uncovered = 255 - (p >> 24);
    uint32_t r = ((p >> 16) & 0xFF) + uncovered, g = ((p >> 8) & 0xFF) + uncovered,
             b = (p & 0xFF) + uncovered;
    p = (std::min<uint32_t>(r, 255) << 16) | (std::min<uint32_t>(g, 255) << 8) |
        std::min<uint32_t>(b, 255);
  }
  out->width = out_width;
  out->height = out_height;
  out->pixels = std::move(pixels);
  return PictureResult::Decoded;
}

HBITMAP PictureBitmap(const DecodedPicture& picture) {
  if (!picture.width || !picture.height) return nullptr;
  BITMAPINFO info = TopDownInfo(picture);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) return bitmap;
  std::copy(picture.pixels.begin(), picture.pixels.end(), static_cast<uint32_t*>(bits));
  return bitmap;
}

std::string PictureRtfGroup(const DecodedPicture& picture) {
  if (!picture.width || !picture.height) return std::string();
  const int w = static_cast<int>(picture.width), h = static_cast<int>(picture.height);
  // A device-independent bitmap: the header, then (as Wine's reader takes it) the bits after
  // the size of a one-entry colour table.
  BITMAPINFO info = TopDownInfo(picture);
  info.bmiHeader.biHeight = h;  // bottom-up
  std::vector<unsigned char> data(sizeof(BITMAPINFO) + picture.pixels.size() * 4);
  std::memcpy(data.data(), &info.bmiHeader, sizeof info.bmiHeader);
  unsigned char* bits = data.data() + sizeof(BITMAPINFO);
  for (int y = 0; y < h; ++y)
    std::memcpy(bits + static_cast<size_t>(y) * w * 4,
                picture.pixels.data() + static_cast<size_t>(h - 1 - y) * w, static_cast<size_t>(w) * 4);
  std::string group = "{\\pict\\dibitmap0\\picw" + std::to_string(w) + "\\pich" +
                      std::to_string(h) + "\\picwgoal" + std::to_string(w * kTwipsPerPixel) +
                      "\\pichgoal" + std::to_string(h * kTwipsPerPixel) + "\n";
  group += RtfHex(data.data(), data.size());
  group += "}";
  return group;
}

}  // namespace vellumo
