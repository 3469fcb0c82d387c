// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A picture decoded from untrusted file bytes by stb_image: a Windows bitmap or a
// PNG, told apart by content. Pictures larger than an icon are refused from their
// header, before any pixel is decoded, and so are pictures cut short.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba; // R, G, B, A bytes, top row first
    std::string error;              // why there are no pixels
};

Picture decodePicture(const std::string& bytes);
