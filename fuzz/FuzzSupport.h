#pragma once

// Shared by the fuzz targets: how a target reports a broken rule, and quiet Qt.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

namespace pellora::fuzz {

// libFuzzer catches the abort and keeps the input that led to it.
[[noreturn]] inline void fail(const char *what, const QString &detail = {})
{
    std::fprintf(stderr, "\n*** broken: %s\n", what);
    if (!detail.isEmpty())
        std::fprintf(stderr, "*** %s\n", detail.toUtf8().constData());
    std::abort();
}

inline void check(bool ok, const char *what, const QString &detail = {})
{
    if (!ok)
        fail(what, detail);
}

// The parsers log each skipped line or damaged entry; printing millions of
// them would slow a run down to a crawl and bury libFuzzer's own output.
inline void quietQt()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type == QtFatalMsg || type == QtCriticalMsg)
            std::fprintf(stderr, "%s\n", message.toUtf8().constData());
    });
}

} // namespace pellora::fuzz
