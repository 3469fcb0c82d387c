// SPDX-License-Identifier: GPL-3.0-or-later

#include "IcoLayout.h"

namespace ico
{
namespace
{

constexpr std::uint32_t kDirSize = 6;
constexpr std::uint32_t kEntrySize = 16;
constexpr std::uint32_t kInfoHeaderSize = 40;

void put16(std::string& out, std::uint16_t v)
{
    out.push_back(char(v & 0xff));
    out.push_back(char(v >> 8));
}

void put32(std::string& out, std::uint32_t v)
{
    put16(out, std::uint16_t(v & 0xffff));
    put16(out, std::uint16_t(v >> 16));
}

bool fits(const Entry& e)
{
    if (e.width < 1 || e.width > kMaxIconSide || e.height < 1 || e.height > kMaxIconSide)
        return false;
    return !e.png.empty() || e.rgba.size() == std::size_t(e.width) * std::size_t(e.height) * 4;
}

// BITMAPINFOHEADER, bottom-up BGRA rows, then the 1-bit AND mask (set = transparent).
// The height field counts both bitmaps, hence twice the picture height.
std::string dib(const Entry& e)
{
    const std::uint32_t w = std::uint32_t(e.width);
    const std::uint32_t h = std::uint32_t(e.height);
    const std::uint32_t maskStride = (w + 31) / 32 * 4;

    std::string out;
    out.reserve(kInfoHeaderSize + w * h * 4 + maskStride * h);
    put32(out, kInfoHeaderSize);
    put32(out, w);
    put32(out, 2 * h);
    put16(out, 1);  // planes
    put16(out, 32); // bits per pixel
    put32(out, 0);  // BI_RGB
    put32(out, w * h * 4 + maskStride * h);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);

    for (std::uint32_t y = h; y-- > 0;) {
        const std::uint8_t* p = e.rgba.data() + std::size_t(y) * w * 4;
        for (std::uint32_t x = 0; x < w; ++x, p += 4) {
            out.push_back(char(p[2]));
            out.push_back(char(p[1]));
            out.push_back(char(p[0]));
            out.push_back(char(p[3]));
        }
    }
    for (std::uint32_t y = h; y-- > 0;) {
        std::string row(maskStride, '\0');
        const std::uint8_t* p = e.rgba.data() + std::size_t(y) * w * 4;
        for (std::uint32_t x = 0; x < w; ++x) {
            if (p[x * 4 + 3] == 0)
                row[x / 8] = char(std::uint8_t(row[x / 8]) | (0x80 >> (x % 8)));
        }
        out += row;
    }
    return out;
}

} // namespace

std::string fileBytes(std::uint16_t type, const std::vector<Entry>& entries)
{
    if (entries.empty() || entries.size() > 0xffff)
        return {};
    std::vector<std::string> bodies;
    bodies.reserve(entries.size());
    for (const Entry& e : entries) {
        if (!fits(e))
            return {};
        bodies.push_back(e.png.empty() ? dib(e) : e.png);
    }

    std::string out;
    put16(out, 0);
    put16(out, type);
    put16(out, std::uint16_t(entries.size()));
    std::uint32_t offset = kDirSize + kEntrySize * std::uint32_t(entries.size());
    for (std::size_t n = 0; n < entries.size(); ++n) {
        const Entry& e = entries[n];
        // 0 stands for 256 in the one-byte size fields.
        out.push_back(char(e.width & 0xff));
        out.push_back(char(e.height & 0xff));
        out.push_back('\0'); // colour count: no palette
        out.push_back('\0');
        if (type == 2) {
            put16(out, e.hotspotX);
            put16(out, e.hotspotY);
        } else {
            put16(out, 1);
            put16(out, 32);
        }
        put32(out, std::uint32_t(bodies[n].size()));
        put32(out, offset);
        offset += std::uint32_t(bodies[n].size());
    }
    for (const std::string& body : bodies)
        out += body;
    return out;
}

std::string pathFor(std::string_view bitmapPath)
{
    const std::size_t slash = bitmapPath.rfind('/');
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    std::string_view name = bitmapPath.substr(nameStart);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos)
        name = name.substr(0, dot);
    std::string out(bitmapPath.substr(0, nameStart));
    out += name;
    out += ".ico";
    return out;
}

} // namespace ico
