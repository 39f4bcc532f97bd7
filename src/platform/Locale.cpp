#include "platform/Locale.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

#include <clocale>
#include <cstring>
#include <langinfo.h>

namespace pellora::platform {

void ensureUtf8Ctype()
{
    if (std::setlocale(LC_CTYPE, "") && std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0)
        return;
    if (std::setlocale(LC_CTYPE, "C.UTF-8"))
        return;
    std::setlocale(LC_CTYPE, "C.utf8");
}

bool installQtTranslations()
{
    static QPointer<QTranslator> installed;
    if (installed)
        return true;
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return false;
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto *translator = new QTranslator(app);
    // "qt_ja" gathers every Qt module's catalogue; without all of them it
    // does not load, and the base module's alone still covers the buttons
    // and the file dialogs.
    if (!translator->load(QStringLiteral("qt_ja"), folder) && !translator->load(QStringLiteral("qtbase_ja"), folder)) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    installed = translator;
    return true;
}

} // namespace pellora::platform
