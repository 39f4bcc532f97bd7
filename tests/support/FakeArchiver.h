#pragma once

#include "platform/archiver/ArchiverLibrary.h"
#include "platform/archiver/Progress.h"

#include <QStringList>

#include <chrono>
#include <cstring>
#include <thread>

namespace pellora::test {

// A library described as plain data: it accepts the files it is told to,
// records every command line, and answers with a fixed report and code.
class FakeArchiver final : public arc::ArchiverLibrary {
public:
    QStringList accepts; // paths CheckArchive says yes to
    QStringList commands; // command lines received
    QByteArray report = "fake report\n"; // what Command writes
    int code = 0;
    QList<QPair<quint64, QByteArray>> entries; // what the listing yields

    int CheckArchive(const QString &path, int) override { return accepts.contains(path) ? 1 : 0; }
    // Above 0: each command runs that long on the installed progress host, as
    // the built-in libraries' runs do, so that events arrive while it runs.
    int runMilliseconds = 0;

    int Command(QObject *owner, const QString &commandLine, char *output, qsizetype size) override
    {
        commands.append(commandLine);
        if (arc::ProgressHost *host = arc::progressHost(); host && runMilliseconds > 0) {
            arc::ProgressState state;
            const auto lasts = std::chrono::milliseconds(runMilliseconds);
            host->run(owner, state, [lasts] { std::this_thread::sleep_for(lasts); });
        }
        arc::copyReport(report, output, size);
        return code;
    }
    arc::HARC OpenArchive(QObject *, const QString &path, int) override { return accepts.contains(path) ? 1 : 0; }
    int FindFirst(arc::HARC, const QString &, arc::INDIVIDUALINFO *info) override
    {
        m_next = 0;
        return FindNext(1, info);
    }
    int FindNext(arc::HARC, arc::INDIVIDUALINFO *info) override
    {
        if (m_next >= entries.size())
            return -1;
        *info = {};
        info->dwOriginalSize = entries.at(m_next).first;
        info->szFileName = entries.at(m_next).second;
        ++m_next;
        return 0;
    }
    int CloseArchive(arc::HARC) override { return 0; }

private:
    qsizetype m_next = 0;
};

} // namespace pellora::test
