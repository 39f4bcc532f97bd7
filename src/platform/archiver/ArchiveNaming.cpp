#include "platform/archiver/ArchiveNaming.h"

namespace pellora::arc {

namespace {

struct Suffix {
    const char16_t *compressed;
    const char16_t *plain; // what the suffix stands for once decompressed
};

// Compression suffixes, each with what is left when it is taken off.
constexpr Suffix kSuffixes[] = {
    { u".gz", u"" },
    { u".bz2", u"" },
    { u".xz", u"" },
    { u".lzma", u"" },
    { u".zst", u"" },
    { u".lz4", u"" },
    { u".z", u"" },
    { u".tgz", u".tar" },
    { u".tbz2", u".tar" },
    { u".tbz", u".tar" },
    { u".txz", u".tar" },
    { u".tzst", u".tar" },
};

const Suffix *compressionSuffix(const QString &name)
{
    for (const Suffix &s : kSuffixes) {
        const QStringView suffix(s.compressed);
        if (name.size() > suffix.size() && name.endsWith(suffix, Qt::CaseInsensitive))
            return &s;
    }
    return nullptr;
}

} // namespace

QString archiveExtension(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    if (dot < 0)
        return {};
    const Suffix *suffix = compressionSuffix(fileName);
    if (suffix && QStringView(suffix->plain).isEmpty()) {
        const QStringView rest = QStringView(fileName).left(dot);
        if (rest.size() > 4 && rest.endsWith(u".tar", Qt::CaseInsensitive))
            return fileName.mid(dot - 4);
    }
    return fileName.mid(dot);
}

QString singleFileName(const QString &archivePath)
{
    const QString name = archivePath.mid(archivePath.lastIndexOf(u'/') + 1);
    if (const Suffix *suffix = compressionSuffix(name))
        return name.left(name.size() - QStringView(suffix->compressed).size()) + QString::fromUtf16(suffix->plain);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot > 0)
        return name.left(dot);
    return name + QStringLiteral(".out");
}

} // namespace pellora::arc
