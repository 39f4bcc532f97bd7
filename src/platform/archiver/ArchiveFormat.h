#pragma once

namespace pellora::arc {

enum class ArchiveFormat { Lzh, Zip, Cab };

// The separator each library reports in listed names: LZH and ZIP use "/",
// CAB keeps the DOS "\" of its headers.
constexpr char listingSeparator(ArchiveFormat format)
{
    return format == ArchiveFormat::Cab ? '\\' : '/';
}

} // namespace pellora::arc
