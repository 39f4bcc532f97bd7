#pragma once

#include <QString>

namespace pellora::test {

// The library file name and the switches the program composes for a kind.
QString libraryFor(const QString &kind);
QString fixedSwitches(const QString &kind);

struct CommandRun {
    int code = -1;
    QString report;
};

// Runs one command line through the registered library, with the program's
// 64000-byte report buffer.
CommandRun runCommand(const QString &library, const QString &commandLine);

// Extracts a whole archive of a kind the way the program does (no progress
// window), plus any extra switches.
CommandRun extractAll(const QString &kind, const QString &archive, const QString &output, const QString &extra = {});

} // namespace pellora::test
