#pragma once

#include <QtGlobal>
#include <cerrno>
#include <unistd.h>

namespace pellora::arc {

// Exactly size bytes at offset of fd (pread: no shared file position), or
// false when the file ends first or cannot be read.
inline bool readExactlyAt(int fd, qint64 offset, void *buffer, qint64 size)
{
    auto *out = static_cast<char *>(buffer);
    while (size > 0) {
        const ssize_t got = ::pread(fd, out, size_t(size), off_t(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        out += got;
        offset += got;
        size -= got;
    }
    return true;
}

} // namespace pellora::arc
