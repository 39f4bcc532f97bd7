#include "core/OpenForALook.h"
#include "core/modRegistry.h"
#include "support/RecordingShell.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>
#include <QTest>

using namespace pellora;

// The one way a file is opened for a look, after an extraction as from the
// related-file chooser: its application, else the configured viewer, else
// the program's own viewer.
class tst_OpenForALook : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void fallsBackInOrder_data();
    void fallsBackInOrder();

private:
    QTemporaryDir m_config;
};

void tst_OpenForALook::initTestCase()
{
    QVERIFY(test::isolateSettings(m_config));
}

void tst_OpenForALook::fallsBackInOrder_data()
{
    QTest::addColumn<int>("openResult");
    QTest::addColumn<QString>("viewer");
    QTest::addColumn<bool>("startSucceeds");
    QTest::addColumn<QStringList>("after"); // calls after the open; "@" stands for the file

    const QString own = QStringLiteral("viewer|@");
    QTest::newRow("associated application")
        << platform::kShellExecuteOk << QStringLiteral("less") << true << QStringList{};
    QTest::newRow("another open failure is not a missing association")
        << platform::kShellExecuteOk + 1 << QStringLiteral("less") << true << QStringList{};
    QTest::newRow("no viewer configured") << platform::kShellExecuteNoAssoc << QString() << true << QStringList{ own };
    QTest::newRow("blank viewer") << platform::kShellExecuteNoAssoc << QStringLiteral("  ") << true
                                  << QStringList{ own };
    // A viewer setting that splits into no words at all names no program:
    // taking its first word would read past an empty list.
    QTest::newRow("viewer of empty quotes")
        << platform::kShellExecuteNoAssoc << QStringLiteral("\"\"") << true << QStringList{ own };
    QTest::newRow("viewer with switches, file one argument")
        << platform::kShellExecuteNoAssoc << QStringLiteral("\"/opt/my viewer\" -R") << true
        << QStringList{ QStringLiteral("program|/opt/my viewer|-R|@") };
    QTest::newRow("viewer that does not start is said so")
        << platform::kShellExecuteNoAssoc << QStringLiteral("less") << false
        << QStringList{ QStringLiteral("program|less|@"),
               QStringLiteral("messageBox|cannot start|%1|Pellora").arg(platform::vbOKOnly | platform::vbExclamation) };
}

void tst_OpenForALook::fallsBackInOrder()
{
    QFETCH(int, openResult);
    QFETCH(QString, viewer);
    QFETCH(bool, startSucceeds);
    QFETCH(QStringList, after);
    core::writeText(core::setting(u"DefaultFileViewer"), viewer);
    test::RecordingShell shell;
    shell.openResult = openResult;
    shell.startSucceeds = startSucceeds;
    const QString file = QStringLiteral("/home/u/soft/read me.txt");

    core::OpenForALook(file, QStringLiteral("/home/u/soft"));

    QStringList wanted{ QStringLiteral("open|%1|/home/u/soft").arg(file) };
    for (const QString &call : after)
        wanted.append(QString(call).replace(u'@', file));
    QCOMPARE(shell.calls, wanted);
}

QTEST_GUILESS_MAIN(tst_OpenForALook)
#include "tst_OpenForALook.moc"
