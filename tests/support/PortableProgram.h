#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

namespace pellora::test {

// A copy of the real program in a folder of its own, beside which its
// ITEM.DAT is looked for, with private data folders (trash included) and an
// environment without any display or session bus: what runs there must need
// neither, and can reach no desktop of the machine.
class PortableProgram final {
public:
    explicit PortableProgram(const QString &binary);

    bool isValid() const { return m_valid; }
    QString path(const QString &relative) const { return m_root.filePath(relative); }
    QString program() const { return path(QStringLiteral("app/pellora")); }
    QString itemListPath() const { return path(QStringLiteral("app/ITEM.DAT")); }
    QProcessEnvironment environment() const;

    // Copies a file of tests/data into the root; its full path.
    QString copyFixture(const QString &fixture, const QString &relative) const;
    // The fixture's files as its manifest lists them (name -> SHA-256 hex).
    static QMap<QString, QString> expectedFiles(const QString &fixture);

private:
    QTemporaryDir m_root;
    bool m_valid = false;
};

} // namespace pellora::test
