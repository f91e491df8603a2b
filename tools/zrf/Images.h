// Still pictures written by zrf: 24-bit BMP and PNG.
#pragma once

#include <cstdint>
#include <string>

namespace zrf {

// `bgr` holds `height` top-down rows of width x 3 bytes (blue, green, red).
// The format follows the file name's extension (.bmp or .png).
bool WriteStill(const std::string& path, const uint8_t* bgr, int width, int height, std::string& error);

}  // namespace zrf
