#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QString>

class QTemporaryDir;

namespace pellora::test {

// A file under tests/data.
QString dataPath(const QString &relative);

// The fixture manifest tests/data/fixtures.json, one object per archive.
QJsonArray fixtureManifest();

// Every regular file under folder (relative path with "/" -> SHA-256 hex).
QMap<QString, QString> fileHashes(const QString &folder);

// Every folder under folder, relative, "/"-separated.
QStringList folders(const QString &folder);

// Every name under folder whatever its type (files, folders, links), relative.
QStringList allNames(const QString &folder);

// Everything under folder that an undo must bring back, one line per name
// (links not followed): type, mode, modification time in nanoseconds, and a
// file's SHA-256 or a link's target. Folder times are left out: undo cannot
// bring them back once a name inside has come and gone.
QStringList treeState(const QString &folder);

QByteArray sha256Hex(const QByteArray &bytes);

// Points this process's settings and its application names (Vorn, Pellora)
// at config, so that a test never reads or writes the user's settings. Call
// in initTestCase before anything reads a setting: QSettings fixes its
// folders on first use. False when config could not be made.
bool isolateSettings(const QTemporaryDir &config);

// Writes bytes to a file, creating its folder; fails the test on error.
void writeFile(const QString &path, const QByteArray &bytes);

} // namespace pellora::test
