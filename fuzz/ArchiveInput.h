#pragma once

// The listing and extraction targets take the same input: one byte that
// chooses the library (and options), then the bytes of the archive, which
// the libraries read from a file like any downloaded archive.

#include "FuzzSupport.h"

#include "platform/archiver/ArchiveFormat.h"
#include "platform/archiver/CommandLine.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <ftw.h>
#include <unistd.h>

namespace pellora::fuzz {

inline arc::ArchiveFormat formatOf(uint8_t choice)
{
    switch (choice % 3) {
    case 0:
        return arc::ArchiveFormat::Lzh;
    case 1:
        return arc::ArchiveFormat::Zip;
    default:
        return arc::ArchiveFormat::Cab;
    }
}

// A folder of this process's own under the temporary folder, removed at exit.
inline const QTemporaryDir &scratch()
{
    static const QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/pellora-fuzz-XXXXXX"));
    if (!dir.isValid())
        fail("cannot make a temporary folder");
    return dir;
}

// Replaces the archive file's contents with bytes; gives its path.
inline QString writeArchive(const uint8_t *data, size_t size)
{
    static const QString path = scratch().filePath(QStringLiteral("input.bin"));
    static const QByteArray native = QDir::toNativeSeparators(path).toLocal8Bit();
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    check(fd >= 0, "cannot write the archive file");
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        check(n > 0, "cannot write the archive file");
        data += n;
        size -= size_t(n);
    }
    ::close(fd);
    return path;
}

// Empties folder (it stays) for the next run; fails the run when it cannot.
inline void clearFolder(const QByteArray &folder)
{
    const auto removeOne = [](const char *path, const struct stat *, int, FTW *ftw) {
        if (ftw->level > 0 && ::remove(path) != 0)
            fail("cannot clear the output folder", QFile::decodeName(path));
        return 0;
    };
    check(::nftw(folder.constData(), removeOne, 16, FTW_PHYS | FTW_DEPTH) == 0, "cannot clear the output");
}

// The extraction targets' switches, from the choice byte's value / 3: skip
// damaged (1), replace always (2), LZH full paths (4), a filter (8); the
// archive written from the bytes after the choice byte.
inline arc::ExtractCommand extractCommand(uint8_t choice, const uint8_t *data, size_t size)
{
    const int switches = choice / 3;
    arc::ExtractCommand command;
    command.archive = writeArchive(data, size);
    command.noProgress = true;
    command.skipDamaged = switches & 1;
    command.replaceAlways = switches & 2;
    command.filterIsFullPath = formatOf(choice) != arc::ArchiveFormat::Lzh || (switches & 4);
    if (switches & 8)
        command.filter = QStringLiteral("*.txt");
    return command;
}

} // namespace pellora::fuzz
