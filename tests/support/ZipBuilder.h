#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace pellora::test {

struct ZipEntry {
    QByteArray name; // as stored: any bytes, flagged as UTF-8 unless utf8Flag is off
    QByteArray data;
    bool encrypted = false; // flagged as encrypted the traditional way; the data is not readable
    bool utf8Flag = true; // off: the name's bytes in whatever code page the archiver used
    bool deflate = false; // the data deflated instead of stored
    int cut = 0; // bytes dropped from the end of the stored body (a stream ending early)
    QByteArray trailing = {}; // bytes after the body, counted in its compressed size
};

// Raw deflate of data (no zlib wrapper), as a ZIP entry holds it.
QByteArray rawDeflate(const QByteArray &data);

// Writes a ZIP of stored (or deflated) entries to path, for archives a test shapes on the
// spot (thousands of entries, names no file system would take); fails the test on error.
void writeZip(const QString &path, const QList<ZipEntry> &entries);

} // namespace pellora::test
