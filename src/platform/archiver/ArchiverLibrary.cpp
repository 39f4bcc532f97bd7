#include "platform/archiver/ArchiverLibrary.h"

#include <cstring>

namespace pellora::arc {

ArchiverLibrary::~ArchiverLibrary() = default;

HARC ArchiverLibrary::OpenArchiveWith(QObject *owner, const QString &path, const NameOptions & /*options*/)
{
    return OpenArchive(owner, path, 0);
}

void copyReport(const QByteArray &report, char *output, qsizetype size)
{
    if (!output || size <= 0)
        return;
    qsizetype n = qMin(report.size(), size - 1);
    // Step back over continuation bytes so a cut never splits a character.
    if (n < report.size()) {
        while (n > 0 && (static_cast<unsigned char>(report.at(n)) & 0xC0) == 0x80)
            --n;
    }
    std::memcpy(output, report.constData(), size_t(n));
    output[n] = '\0';
}

} // namespace pellora::arc
