// A picture as an 8-bit RGB PNG file, through libpng's simplified API.
#include <png.h>

#include <cstring>

#include "render/render_internal.h"

namespace velmora::render {

bool writePng(const std::string& path, int width, int height, const std::vector<std::uint32_t>& pixels) {
  std::vector<std::uint8_t> rgb;
  rgb.reserve(pixels.size() * 3);
  for (const std::uint32_t pixel : pixels) {
    rgb.push_back(static_cast<std::uint8_t>(pixel >> 16));
    rgb.push_back(static_cast<std::uint8_t>(pixel >> 8));
    rgb.push_back(static_cast<std::uint8_t>(pixel));
  }
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGB;
  const int written = png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr);
  png_image_free(&image);
  return written != 0;
}

}  // namespace velmora::render
