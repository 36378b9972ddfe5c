#include "libs/cloudkey/CloudKey.h"

#include <png.h>
#include <qrencode.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

namespace {

constexpr int kQuietZoneModules = 4;
constexpr int kMaxModulePixels = 64;

struct CQrDeleter {
  void operator()(QRcode* p) const { QRcode_free(p); }
};

}  // namespace

namespace CK_TOOL {

bool MakeQREncode(const char* szText, int nModulePixels, const char* szPngPath) {
  if (szText == nullptr || szText[0] == '\0' || szPngPath == nullptr || szPngPath[0] == '\0' ||
      nModulePixels <= 0 || nModulePixels > kMaxModulePixels) {
    return false;
  }
  std::unique_ptr<QRcode, CQrDeleter> pQr(QRcode_encodeString8bit(szText, 0, QR_ECLEVEL_M));
  if (!pQr || pQr->width <= 0) return false;

  const int nModules = pQr->width + 2 * kQuietZoneModules;
  const int nSide = nModules * nModulePixels;
  std::vector<png_byte> vPixels(static_cast<size_t>(nSide) * static_cast<size_t>(nSide), 0xFF);
  for (int y = 0; y < pQr->width; ++y) {
    for (int x = 0; x < pQr->width; ++x) {
      if ((pQr->data[y * pQr->width + x] & 1) == 0) continue;  // light module
      const int nTop = (y + kQuietZoneModules) * nModulePixels;
      const int nLeft = (x + kQuietZoneModules) * nModulePixels;
      for (int dy = 0; dy < nModulePixels; ++dy) {
        png_byte* pRow = &vPixels[static_cast<size_t>(nTop + dy) * nSide + nLeft];
        std::fill(pRow, pRow + nModulePixels, 0x00);
      }
    }
  }

  std::error_code ec;
  const std::filesystem::path target(szPngPath);
  if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
  const std::string strTemp = target.string() + ".part";

  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(nSide);
  image.height = static_cast<png_uint_32>(nSide);
  image.format = PNG_FORMAT_GRAY;
  const bool bWritten =
      png_image_write_to_file(&image, strTemp.c_str(), 0, vPixels.data(), nSide, nullptr) != 0;
  png_image_free(&image);
  if (bWritten) {
    std::filesystem::rename(strTemp, target, ec);
    if (!ec) return true;
  }
  std::filesystem::remove(strTemp, ec);
  return false;
}

}  // namespace CK_TOOL
