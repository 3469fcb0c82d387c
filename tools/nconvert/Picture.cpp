// SPDX-License-Identifier: GPL-3.0-or-later

#include "Picture.h"

#include "IcoLayout.h"

#include <cstdlib>

namespace
{

// The decoder allocates as it reads, and a small PNG can inflate to gigabytes.
// No picture an icon can hold needs more than a few megabytes in all, so
// allocation stops there; what a picture spent is never given back to the count.
constexpr std::size_t kDecodeBudget = std::size_t(64) << 20;
std::size_t spent = 0;

bool charge(std::size_t n)
{
    if (n > kDecodeBudget - spent)
        return false;
    spent += n;
    return true;
}

void* budgetMalloc(std::size_t n)
{
    return charge(n) ? std::malloc(n) : nullptr;
}

void* budgetRealloc(void* p, std::size_t n)
{
    return charge(n) ? std::realloc(p, n) : nullptr;
}

} // namespace

// Built here from Debian's header rather than linked from libstb: sides capped,
// allocation bounded, no runtime dependency, and only the two formats wanted.
// Debian 12's copy writes out of bounds on some crafted JPEGs; the tray only
// ever writes bitmaps.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_ONLY_BMP
#define STBI_ONLY_PNG
#define STBI_FAILURE_USERMSG
#define STBI_MAX_DIMENSIONS kMaxIconSide
#define STBI_MALLOC(n) budgetMalloc(n)
#define STBI_REALLOC(p, n) budgetRealloc(p, n)
#define STBI_FREE(p) std::free(p)
#include <stb/stb_image.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace
{

// From memory the decoder reads zeros past the end, and a picture cut short
// would pass for whole; through callbacks it shows when it wants more.
struct Reader {
    const std::string& bytes;
    std::size_t pos = 0;
    bool pastEnd = false;
};

int readBytes(void* user, char* data, int size)
{
    auto* r = static_cast<Reader*>(user);
    const std::size_t n = std::min(r->bytes.size() - r->pos, std::size_t(std::max(size, 0)));
    if (n == 0)
        r->pastEnd = true;
    std::memcpy(data, r->bytes.data() + r->pos, n);
    r->pos += n;
    return int(n);
}

void skipBytes(void* user, int n)
{
    auto* r = static_cast<Reader*>(user);
    if (n < 0) {
        r->pos -= std::min(r->pos, std::size_t(-std::int64_t(n)));
    } else if (std::size_t(n) > r->bytes.size() - r->pos) {
        r->pastEnd = true;
        r->pos = r->bytes.size();
    } else {
        r->pos += std::size_t(n);
    }
}

int atEnd(void* user)
{
    const auto* r = static_cast<const Reader*>(user);
    return r->pos >= r->bytes.size();
}

bool fitsAnIcon(int w, int h)
{
    return w >= 1 && w <= kMaxIconSide && h >= 1 && h <= kMaxIconSide;
}

std::string sizeError(int w, int h)
{
    return "an icon holds 1 to " + std::to_string(kMaxIconSide) + " pixels on a side, the picture is " +
           std::to_string(w) + " x " + std::to_string(h);
}

} // namespace

Picture decodePicture(const std::string& bytes)
{
    Picture pic;
    spent = 0;
    if (bytes.empty()) {
        pic.error = "the file is empty";
        return pic;
    }
    if (bytes.size() > std::size_t(INT_MAX)) {
        pic.error = "the file is too large";
        return pic;
    }
    const auto* data = reinterpret_cast<const stbi_uc*>(bytes.data());
    const int size = int(bytes.size());
    int w = 0;
    int h = 0;
    int channels = 0;
    if (!stbi_info_from_memory(data, size, &w, &h, &channels)) {
        pic.error = std::string("not a bitmap or PNG picture (") + stbi_failure_reason() + ")";
        return pic;
    }
    if (!fitsAnIcon(w, h)) {
        pic.error = sizeError(w, h);
        return pic;
    }
    Reader reader{bytes};
    const stbi_io_callbacks callbacks{readBytes, skipBytes, atEnd};
    stbi_uc* pixels = stbi_load_from_callbacks(&callbacks, &reader, &w, &h, &channels, 4);
    if (!pixels) {
        pic.error = std::string("cannot read the picture (") + stbi_failure_reason() + ")";
        return pic;
    }
    if (reader.pastEnd) {
        pic.error = "the picture is cut short";
    } else if (fitsAnIcon(w, h)) {
        pic.width = w;
        pic.height = h;
        pic.rgba.assign(pixels, pixels + std::size_t(w) * std::size_t(h) * 4);
    } else {
        pic.error = sizeError(w, h);
    }
    stbi_image_free(pixels);
    return pic;
}
