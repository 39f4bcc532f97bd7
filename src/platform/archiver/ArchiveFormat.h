#pragma once

namespace pellora::arc {

// The formats of the built-in libraries. Tar stands for everything the
// fourth library reads: tarballs (plain or compressed), 7z, and a single
// compressed file without tar.
enum class ArchiveFormat { Lzh, Zip, Cab, Tar };

} // namespace pellora::arc
