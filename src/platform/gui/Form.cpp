#include "platform/gui/Form.h"

#include <QCoreApplication>
#include <QSet>
#include <QTimer>

namespace pellora::platform {

namespace {

struct Registry {
    QSet<QWidget *> loaded;
    bool endWhenNone = false;
};

Registry &registry()
{
    static Registry r;
    return r;
}

void endIfNoneLoaded()
{
    if (registry().endWhenNone && registry().loaded.isEmpty())
        QTimer::singleShot(0, qApp, [] {
            if (registry().loaded.isEmpty())
                QCoreApplication::quit();
        });
}

} // namespace

int Forms::loadedCount()
{
    return int(registry().loaded.size());
}

void Forms::endWhenNoneLoaded()
{
    registry().endWhenNone = true;
    endIfNoneLoaded();
}

void Forms::loaded(QWidget *form)
{
    registry().loaded.insert(form);
}

void Forms::unloaded(QWidget *form)
{
    registry().loaded.remove(form);
    endIfNoneLoaded();
}

void Forms::hold(QWidget *window)
{
    registry().loaded.insert(window);
    QObject::connect(window, &QObject::destroyed, qApp, [window] { unloaded(window); });
}

} // namespace pellora::platform
