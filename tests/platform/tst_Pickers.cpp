#include "platform/Pickers.h"
#include "support/RecordingShell.h"

#include <QDir>
#include <QTest>

using namespace pellora;

class tst_Pickers : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void selectFolderOpensAtTheFieldAndKeepsItOnCancel_data();
    void selectFolderOpensAtTheFieldAndKeepsItOnCancel();
    void selectExecutableTakesTheFileAsChosen();
};

void tst_Pickers::selectFolderOpensAtTheFieldAndKeepsItOnCancel_data()
{
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("picked");
    QTest::addColumn<QString>("opensAt");
    QTest::addColumn<QString>("result");

    QTest::newRow("opens at the folder without its separator") << "/opt/Tools/"
                                                               << "/opt/Other"
                                                               << "/opt/Tools"
                                                               << "/opt/Other/";
    QTest::newRow("cancel keeps the text, separator included") << "/opt/Tools/"
                                                               << ""
                                                               << "/opt/Tools"
                                                               << "/opt/Tools/";
    QTest::newRow("an empty field opens at the current folder") << ""
                                                                << "/srv"
                                                                << "%1"
                                                                << "/srv/";
    QTest::newRow("the root keeps its single separator") << "/"
                                                         << "/"
                                                         << "/"
                                                         << "/";
}

void tst_Pickers::selectFolderOpensAtTheFieldAndKeepsItOnCancel()
{
    QFETCH(QString, current);
    QFETCH(QString, picked);
    QFETCH(QString, opensAt);
    test::RecordingShell shell;
    shell.pickedFolder = picked;
    QTEST(platform::SelectFolder(nullptr, current), "result");
    const QString start = opensAt.contains(u"%1") ? opensAt.arg(QDir::currentPath()) : opensAt;
    QCOMPARE(shell.calls, QStringList{ QStringLiteral("browse|フォルダを指定してください。|%1|1").arg(start) });
}

void tst_Pickers::selectExecutableTakesTheFileAsChosen()
{
    test::RecordingShell shell;
    const QString filter = QStringLiteral("実行ファイル|*");
    shell.pickedFile = QStringLiteral("/usr/bin/mousepad");
    // No extension is added: programs here have none.
    QCOMPARE(platform::SelectExecutable(nullptr, filter, QStringLiteral("old")), QStringLiteral("/usr/bin/mousepad"));
    QCOMPARE(shell.calls.last(), QStringLiteral("openDialog|%1|%2").arg(filter, QDir::currentPath()));
    shell.pickedFile.clear();
    QCOMPARE(platform::SelectExecutable(nullptr, filter, QStringLiteral("old")), QStringLiteral("old"));
}

QTEST_GUILESS_MAIN(tst_Pickers)
#include "tst_Pickers.moc"
