#include "support/ArchiveWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <archive.h>
#include <archive_entry.h>

#include <memory>

namespace pellora::test {

void writeZip(const QString &path, const QList<ArchiveEntry> &entries)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    const std::unique_ptr<archive, decltype(&archive_write_free)> a(archive_write_new(), archive_write_free);
    QCOMPARE(archive_write_set_format_zip(a.get()), ARCHIVE_OK);
    QCOMPARE(archive_write_open_filename(a.get(), QFile::encodeName(path).constData()), ARCHIVE_OK);
    for (const ArchiveEntry &e : entries) {
        const std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(
            archive_entry_new(), archive_entry_free);
        archive_entry_set_pathname(entry.get(), e.first.constData());
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_perm(entry.get(), 0644);
        archive_entry_set_size(entry.get(), e.second.size());
        QCOMPARE(archive_write_header(a.get(), entry.get()), ARCHIVE_OK);
        QCOMPARE(
            archive_write_data(a.get(), e.second.constData(), size_t(e.second.size())), la_ssize_t(e.second.size()));
    }
    QCOMPARE(archive_write_close(a.get()), ARCHIVE_OK);
}

void writeTar(const QString &path, const QList<TarEntry> &entries)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    const std::unique_ptr<archive, decltype(&archive_write_free)> a(archive_write_new(), archive_write_free);
    QCOMPARE(archive_write_set_format_pax_restricted(a.get()), ARCHIVE_OK);
    QCOMPARE(archive_write_open_filename(a.get(), QFile::encodeName(path).constData()), ARCHIVE_OK);
    for (const TarEntry &e : entries) {
        const std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(
            archive_entry_new(), archive_entry_free);
        archive_entry_set_pathname(entry.get(), e.name.constData());
        const bool link = !e.linkTarget.isEmpty();
        archive_entry_set_filetype(entry.get(), link ? AE_IFLNK : AE_IFREG);
        archive_entry_set_perm(entry.get(), link ? 0777 : 0644);
        if (link)
            archive_entry_set_symlink(entry.get(), e.linkTarget.constData());
        archive_entry_set_size(entry.get(), link ? 0 : e.content.size());
        QCOMPARE(archive_write_header(a.get(), entry.get()), ARCHIVE_OK);
        if (!link)
            QCOMPARE(archive_write_data(a.get(), e.content.constData(), size_t(e.content.size())),
                la_ssize_t(e.content.size()));
    }
    QCOMPARE(archive_write_close(a.get()), ARCHIVE_OK);
}

} // namespace pellora::test
