// Picture entries by their signature, and the sizes their headers claim.
#include "viewer/page/page_picture.h"

#include <gtest/gtest.h>

#include <string>

namespace vellumo {
namespace {

TEST(PictureHeaders, SignaturesAndDimensions) {
  const std::string png = std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\xFF\xFF\0\0\xFF\xFF", 24);
  const std::string gif = std::string("GIF89a\x30\x00\x20\x00", 10);
  const std::string bmp = std::string("BM\0\0\0\0\0\0\0\0\0\0\0\0\x28\0\0\0\x10\0\0\0\xF0\xFF\xFF\xFF", 26);
  const std::string ico = std::string("\0\0\1\0\1\0\0\0\0\0\1\0\x20\0\0\0\0\0\0\0\0\0", 22);
  const std::string jpeg =
      std::string("\xFF\xD8\xFF\xE0\0\x04JF\xFF\xC0\0\x11\x08\x01\x02\x03\x04", 17);
  struct Case {
    const char* name;
    std::string bytes;
    PictureFormat format;
    bool read;
    uint32_t width, height;
  } cases[] = {
      {"png claiming 65535 x 65535", png, PictureFormat::Png, true, 65535, 65535},
      {"gif", gif, PictureFormat::Gif, true, 48, 32},
      {"bmp, top-down", bmp, PictureFormat::Bmp, true, 16, 16},
      {"ico 256", ico, PictureFormat::Ico, true, 256, 256},
      {"jpeg", jpeg, PictureFormat::Jpeg, true, 0x0304, 0x0102},
      {"jpeg cut short", jpeg.substr(0, 12), PictureFormat::Jpeg, false, 0, 0},
      {"text beginning BM", "BMW cars are fast, they say", PictureFormat::None, false, 0, 0},
      {"png cut short", png.substr(0, 12), PictureFormat::None, false, 0, 0},
      {"png without IHDR first", png.substr(0, 12) + "IDAT" + png.substr(16), PictureFormat::Png,
       false, 0, 0},
      {"html", "<html>", PictureFormat::None, false, 0, 0},
      {"empty", "", PictureFormat::None, false, 0, 0},
  };
  for (const Case& c : cases) {
    const auto* d = reinterpret_cast<const uint8_t*>(c.bytes.data());
    EXPECT_EQ(PictureFormatOf(d, c.bytes.size()), c.format) << c.name;
    uint32_t w, h;
    EXPECT_EQ(PictureDimensions(d, c.bytes.size(), &w, &h), c.read) << c.name;
    EXPECT_EQ(w, c.width) << c.name;
    EXPECT_EQ(h, c.height) << c.name;
  }
}

}  // namespace
}  // namespace vellumo
