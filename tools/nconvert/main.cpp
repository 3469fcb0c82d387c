// SPDX-License-Identifier: GPL-3.0-or-later

// nconvert -out ico <bitmap>: writes <bitmap folder>/<base name>.ico beside the bitmap.
// No Qt here: the tray runs this once a minute, and loading Qt's libraries took
// ten times longer than the work itself.
#include "IcoLayout.h"
#include "Picture.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// Far above what any picture an icon can hold needs (256 x 256 at 16 bits a channel is 512 KiB).
constexpr std::size_t kMaxFileBytes = std::size_t(4) << 20;

std::string systemError(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

bool readBitmap(const std::string& path, std::string& bytes, std::string& error)
{
    // Non-blocking so that a pipe of that name cannot hold the converter up.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        error = errno == ENOENT ? path + ": no such file" : systemError("cannot read " + path);
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = path + ": not a file";
        return false;
    }
    // Read at most one byte past the limit, whatever size the file claims.
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = systemError("cannot read " + path);
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        bytes.append(chunk, std::size_t(n));
        if (bytes.size() > kMaxFileBytes) {
            ::close(fd);
            error =
                path + ": larger than " + std::to_string(kMaxFileBytes >> 20) + " MiB, too large for an icon";
            return false;
        }
    }
    ::close(fd);
    return true;
}

bool writeAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

// Readers see the old icon or the new one, never half of one: a new private file
// beside it, then a rename over it. On failure the temporary file goes again.
bool writeAtomically(const std::string& path, const std::string& bytes, std::string& error)
{
    std::string temp = path + ".XXXXXX";
    // mkostemp opens with O_CREAT | O_EXCL and mode 0600.
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        error = systemError("cannot write " + path);
        return false;
    }
    bool ok = writeAll(fd, bytes);
    int saved = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        errno = saved;
        error = systemError("cannot write " + path);
    }
    return ok;
}

bool convertToIco(const std::string& bitmap, std::string& error)
{
    std::string bytes;
    if (!readBitmap(bitmap, bytes, error))
        return false;
    Picture pic = decodePicture(bytes);
    if (!pic.error.empty()) {
        error = bitmap + ": " + pic.error;
        return false;
    }
    std::vector<ico::Entry> entries(1);
    entries[0].width = pic.width;
    entries[0].height = pic.height;
    entries[0].rgba = std::move(pic.rgba);
    // A DIB even at 256 px: one-picture icons should read everywhere.
    const std::string icon = ico::fileBytes(1, entries);
    if (icon.empty()) {
        error = bitmap + ": cannot make an icon of it";
        return false;
    }
    return writeAtomically(ico::pathFor(bitmap), icon, error);
}

} // namespace

int main(int argc, char** argv)
{
    const auto is = [&](int i, const char* text) { return std::strcmp(argv[i], text) == 0; };
    const bool help = argc == 2 && (is(1, "--help") || is(1, "-h"));
    if (help || argc != 4 || !is(1, "-out") || !is(2, "ico") || argv[3][0] == '\0') {
        std::fputs("usage: nconvert -out ico <bitmap>\n"
                   "Writes the picture as an icon file beside it, named <bitmap base name>.ico.\n",
                   help ? stdout : stderr);
        return help ? 0 : 2;
    }
    std::string error;
    if (!convertToIco(argv[3], error)) {
        std::fprintf(stderr, "nconvert: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
