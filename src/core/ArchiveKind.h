#pragma once

#include <QString>

namespace pellora::core {

// The archive kind of a file: "LZH", "ZIP", "CAB", or empty when no installed
// library accepts it. The libraries are asked in the order UNLHA32, UNZIP32,
// CAB32 and a later one that accepts the file wins.
QString detectArchiveKind(const QString &path);

} // namespace pellora::core
