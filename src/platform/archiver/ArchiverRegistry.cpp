#include "platform/archiver/ArchiverRegistry.h"

#include "platform/archiver/BuiltInArchiver.h"

#include <QHash>
#include <QMutex>

namespace pellora::arc {

namespace {

struct Registry {
    QMutex mutex;
    QHash<QString, std::shared_ptr<ArchiverLibrary>> libraries;
    bool initialised = false;

    void fillBuiltIns()
    {
        libraries.clear();
        for (const ArchiveKindInfo &kind : kArchiveKinds)
            libraries.insert(QString::fromLatin1(kind.library), std::make_shared<BuiltInArchiver>(kind.format));
        initialised = true;
    }
};

Registry &registry()
{
    static Registry r;
    return r;
}

QString key(const QString &fileName)
{
    return fileName.trimmed().toUpper();
}

} // namespace

std::shared_ptr<ArchiverLibrary> ArchiverRegistry::find(const QString &fileName)
{
    Registry &r = registry();
    QMutexLocker lock(&r.mutex);
    if (!r.initialised)
        r.fillBuiltIns();
    return r.libraries.value(key(fileName));
}

void ArchiverRegistry::install(const QString &fileName, std::shared_ptr<ArchiverLibrary> library)
{
    Registry &r = registry();
    QMutexLocker lock(&r.mutex);
    if (!r.initialised)
        r.fillBuiltIns();
    r.libraries.insert(key(fileName), std::move(library));
}

void ArchiverRegistry::remove(const QString &fileName)
{
    Registry &r = registry();
    QMutexLocker lock(&r.mutex);
    if (!r.initialised)
        r.fillBuiltIns();
    r.libraries.remove(key(fileName));
}

void ArchiverRegistry::restoreBuiltIns()
{
    Registry &r = registry();
    QMutexLocker lock(&r.mutex);
    r.fillBuiltIns();
}

} // namespace pellora::arc
