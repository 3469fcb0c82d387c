// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The bytes of Windows icon (.ico) and cursor (.cur) files, without Qt, so that
// the converter program stays small and quick to start.

// The size bytes of a directory entry can describe 1..256 pixels.
inline constexpr int kMaxIconSide = 256;

namespace ico
{

struct Entry {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba; // R, G, B, A bytes, top row first; for a 32-bit DIB with AND mask
    std::string png;                // or, when not empty, the body as PNG (Vista style)
    std::uint16_t hotspotX = 0;     // cursors only
    std::uint16_t hotspotY = 0;
};

// Icon (type 1) or cursor (type 2) file with one directory entry per picture.
// Empty when there is none, more than 65535, a side outside 1..256 or pixels missing.
std::string fileBytes(std::uint16_t type, const std::vector<Entry>& entries);

// /x/CurTemp.bmp -> /x/CurTemp.ico: the folder part exactly as given, the last suffix replaced.
std::string pathFor(std::string_view bitmapPath);

} // namespace ico
