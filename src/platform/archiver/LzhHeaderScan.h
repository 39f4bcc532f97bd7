#pragma once

#include <QtGlobal>
#include <cstddef>
#include <functional>

namespace pellora::arc {

// Finding where a damaged LZH archive becomes readable again. A member is a
// header followed by its compressed body with no index anywhere, so after a
// damaged header the only way on is to look for the next byte run that is a
// sound header of its own: a known method id and a header that checks out.

// True when the bytes at p (available of them) hold a whole level 0, 1 or 2
// header with a known method whose checksum (levels 0 and 1) or header CRC
// (level 2) is right.
bool isSoundLzhHeader(const unsigned char *p, size_t available);

// The offset just past the member whose sound header starts at offset in fd
// (the header, its extensions and its stored body), or -1 when no sound
// header starts there.
qint64 lzhMemberEnd(int fd, qint64 offset, qint64 size);

// The offset of the first sound header at or after from in the open file fd
// (read with pread, so the descriptor's own offset is left alone) for which
// accept also says yes, or -1 when there is none before size.
qint64 findLzhHeader(int fd, qint64 from, qint64 size, const std::function<bool(qint64)> &accept);

} // namespace pellora::arc
