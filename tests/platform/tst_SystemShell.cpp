#include "platform/SystemShell.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace pellora;
using namespace pellora::platform;

namespace {

// Answers questions from a script and remembers what was asked, the way the
// GUI's message boxes would be answered by a user.
class ScriptedShell final : public SystemShell {
public:
    struct Question {
        QString text;
        int style;
        QString title;
    };
    QList<int> answers;
    QList<Question> asked;

    int messageBox(const QString &text, int style, const QString &title) override
    {
        asked.append({ text, style, title });
        return answers.isEmpty() ? defaultAnswer(style) : answers.takeFirst();
    }
};

class EnvironmentGuard final {
public:
    EnvironmentGuard(const char *name, const QString &value)
        : m_name(name)
        , m_old(qgetenv(name))
        , m_had(qEnvironmentVariableIsSet(name))
    {
        qputenv(name, QFile::encodeName(value));
    }
    ~EnvironmentGuard() { m_had ? qputenv(m_name, m_old) : qunsetenv(m_name); }

private:
    const char *m_name;
    QByteArray m_old;
    bool m_had;
};

// Writing past the limit fails with EFBIG, even for root: a disk that
// fills up after a set number of bytes.
class FileSizeLimit final {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{ bytes, m_old.rlim_max };
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &m_old); }

private:
    rlimit m_old{};
};

// A temporary folder on another device than near, or nothing; /dev/shm is
// a memory file system on most Linux systems.
std::unique_ptr<QTemporaryDir> folderOnAnotherFileSystem(const QString &near)
{
    auto folder = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/pellora-XXXXXX"));
    struct stat here = {};
    struct stat there = {};
    if (!folder->isValid() || ::stat(QFile::encodeName(near).constData(), &here) != 0
        || ::stat(QFile::encodeName(folder->path()).constData(), &there) != 0 || here.st_dev == there.st_dev)
        return nullptr;
    return folder;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList namesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

void writeScript(const QString &path, const QByteArray &body)
{
    test::writeFile(path, "#!/bin/sh\n" + body);
    QVERIFY(QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner));
}

const QByteArray kNew = "new archive";
const QByteArray kOld = "old archive";
const QString kConfirmTitle = QStringLiteral("確認");
const int kReplaceQuestion = vbYesNo | vbQuestion | vbDefaultButton2;

} // namespace

class tst_SystemShell : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void transfersAFile_data();
    void transfersAFile();
    void aFailedWriteNeverDestroysTheDestination_data();
    void aFailedWriteNeverDestroysTheDestination();
    void refusesWithAMessage_data();
    void refusesWithAMessage();
    void movesAcrossFileSystems();
    void movesToTheTrashOrSaysWhyNot();
    void startsCommandLines_data();
    void startsCommandLines();
    void opensDocumentsThroughTheirAssociation_data();
    void opensDocumentsThroughTheirAssociation();
};

void tst_SystemShell::transfersAFile_data()
{
    QTest::addColumn<bool>("move");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("done");

    const QString deep = QStringLiteral("ツール/new/foo.lzh");
    const QString longest = QString(251, u'a') + QStringLiteral(".lzh");
    QTest::newRow("a copy into a missing folder creates it without asking") << false << deep << false << 0 << true;
    QTest::newRow("a move into a missing folder creates it without asking") << true << deep << false << 0 << true;
    QTest::newRow("a copy onto an existing file asks, and No keeps the old file")
        << false << QStringLiteral("foo.lzh") << true << int(vbNo) << false;
    QTest::newRow("a copy onto an existing file asks, and Yes replaces it")
        << false << QStringLiteral("foo.lzh") << true << int(vbYes) << true;
    QTest::newRow("a move onto an existing file asks, and No keeps both files")
        << true << QStringLiteral("foo.lzh") << true << int(vbNo) << false;
    QTest::newRow("a move onto an existing file asks, and Yes replaces it")
        << true << QStringLiteral("foo.lzh") << true << int(vbYes) << true;
    QTest::newRow("a copy replaces a file whose name is as long as the file system allows")
        << false << longest << true << int(vbYes) << true;
}

void tst_SystemShell::transfersAFile()
{
    QFETCH(bool, move);
    QFETCH(QString, destination);
    QFETCH(bool, exists);
    QFETCH(int, answer);
    QFETCH(bool, done);

    QTemporaryDir temp;
    const QString source = temp.filePath(QStringLiteral("dl/foo.lzh"));
    const QString target = temp.filePath(QStringLiteral("out/") + destination);
    test::writeFile(source, kNew);
    QVERIFY(QFile::setPermissions(source, QFile::permissions(source) | QFile::ExeOwner));
    if (exists)
        test::writeFile(target, kOld);

    ScriptedShell shell;
    shell.answers = { answer };
    QCOMPARE(move ? shell.moveFile(source, target) : shell.copyFile(source, target), done);

    QCOMPARE(shell.asked.size(), exists ? 1 : 0);
    if (exists) {
        QCOMPARE(shell.asked[0].style, kReplaceQuestion);
        QCOMPARE(shell.asked[0].title, kConfirmTitle);
        QVERIFY(shell.asked[0].text.contains(target));
    }
    QCOMPARE(contents(target), done ? kNew : kOld);
    QCOMPARE(QFileInfo::exists(source), !(move && done));
    if (done)
        QVERIFY(QFile::permissions(target) & QFile::ExeOwner);
    // Nothing half-written is left beside the destination.
    QCOMPARE(namesIn(QFileInfo(target).path()), QStringList{ QFileInfo(target).fileName() });
}

void tst_SystemShell::aFailedWriteNeverDestroysTheDestination_data()
{
    QTest::addColumn<bool>("move");
    QTest::newRow("a copy") << false;
    QTest::newRow("a move across file systems, which copies") << true;
}

void tst_SystemShell::aFailedWriteNeverDestroysTheDestination()
{
    QFETCH(bool, move);
    QTemporaryDir local;
    const std::unique_ptr<QTemporaryDir> other = folderOnAnotherFileSystem(local.path());
    if (move && !other)
        QSKIP("no second file system next to the temporary folder");

    const QString source = (move ? other->path() : local.path()) + QStringLiteral("/dl/foo.lzh");
    const QString target = local.filePath(QStringLiteral("out/foo.lzh"));
    test::writeFile(source, QByteArray(1 << 20, 'x'));
    test::writeFile(target, kOld);
    ScriptedShell shell;
    shell.answers = { vbYes };
    {
        const FileSizeLimit limit(64 * 1024);
        QVERIFY(!(move ? shell.moveFile(source, target) : shell.copyFile(source, target)));
    }
    QCOMPARE(contents(target), kOld);
    QCOMPARE(namesIn(QFileInfo(target).path()), QStringList{ QStringLiteral("foo.lzh") });
    QCOMPARE(QFileInfo(source).size(), 1 << 20);
    QCOMPARE(shell.asked.size(), 2);
    QVERIFY(shell.asked[1].style & vbCritical);
}

void tst_SystemShell::refusesWithAMessage_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("blocker"); // a file or folder in the way, created first

    QTest::newRow("a source that does not exist")
        << QStringLiteral("dl/missing.lzh") << QStringLiteral("out/missing.lzh") << QString();
    QTest::newRow("a file standing where the destination folder should be")
        << QStringLiteral("dl/foo.lzh") << QStringLiteral("out/foo.lzh") << QStringLiteral("out");
    QTest::newRow("a folder with the destination's name")
        << QStringLiteral("dl/foo.lzh") << QStringLiteral("out/foo.lzh") << QStringLiteral("out/foo.lzh/");
}

void tst_SystemShell::refusesWithAMessage()
{
    QFETCH(QString, source);
    QFETCH(QString, destination);
    QFETCH(QString, blocker);

    QTemporaryDir temp;
    test::writeFile(temp.filePath(QStringLiteral("dl/foo.lzh")), kNew);
    if (blocker.endsWith(u'/'))
        QVERIFY(QDir(temp.path()).mkpath(blocker));
    else if (!blocker.isEmpty())
        test::writeFile(temp.filePath(blocker), kOld);
    const QStringList before = namesIn(temp.filePath(QStringLiteral("out")));

    for (const bool move : { false, true }) {
        ScriptedShell shell;
        shell.answers = { vbYes, vbYes };
        const QString from = temp.filePath(source), to = temp.filePath(destination);
        QVERIFY(!(move ? shell.moveFile(from, to) : shell.copyFile(from, to)));
        QVERIFY(!shell.asked.isEmpty());
        QVERIFY(shell.asked.last().style & vbCritical);
        QVERIFY(shell.asked.last().text.contains(to));
    }
    QCOMPARE(contents(temp.filePath(QStringLiteral("dl/foo.lzh"))), kNew);
    QCOMPARE(namesIn(temp.filePath(QStringLiteral("out"))), before);
    if (!blocker.isEmpty() && !blocker.endsWith(u'/'))
        QCOMPARE(contents(temp.filePath(blocker)), kOld);
}

void tst_SystemShell::movesAcrossFileSystems()
{
    QTemporaryDir local;
    const std::unique_ptr<QTemporaryDir> shared = folderOnAnotherFileSystem(local.path());
    if (!shared)
        QSKIP("no second file system next to the temporary folder");

    const QString source = shared->filePath(QStringLiteral("foo.lzh"));
    const QString target = local.filePath(QStringLiteral("out/foo.lzh"));
    test::writeFile(source, kNew);
    QVERIFY(QFile::setPermissions(source, QFile::permissions(source) | QFile::ExeOwner));
    test::writeFile(target, kOld);

    ScriptedShell shell;
    shell.answers = { vbYes };
    QVERIFY(shell.moveFile(source, target));
    QCOMPARE(shell.asked.size(), 1); // only the question, no error
    QCOMPARE(contents(target), kNew);
    QVERIFY(QFile::permissions(target) & QFile::ExeOwner);
    QVERIFY(!QFileInfo::exists(source));
    QCOMPARE(namesIn(local.filePath(QStringLiteral("out"))), QStringList{ QStringLiteral("foo.lzh") });
}

void tst_SystemShell::movesToTheTrashOrSaysWhyNot()
{
    QTemporaryDir temp;
    // The home and the data folder both lie in the test's folder, so the
    // file shares their volume and goes to the home trash.
    const EnvironmentGuard home("HOME", temp.path());
    const EnvironmentGuard data("XDG_DATA_HOME", temp.filePath(QStringLiteral("data")));
    const QString file = temp.filePath(QStringLiteral("dl/ソフト 1.lzh"));
    test::writeFile(file, kNew);

    ScriptedShell shell;
    QVERIFY(shell.moveToTrash(file));
    QVERIFY(!QFileInfo::exists(file));
    QCOMPARE(contents(temp.filePath(QStringLiteral("data/Trash/files/ソフト 1.lzh"))), kNew);
    QVERIFY(shell.asked.isEmpty());

    QVERIFY(!shell.moveToTrash(file));
    QCOMPARE(shell.asked.size(), 1);
    QVERIFY(shell.asked[0].style & vbCritical);
    QVERIFY(shell.asked[0].text.contains(file));
}

void tst_SystemShell::startsCommandLines_data()
{
    QTest::addColumn<QString>("commandLine"); // %1 = a program that records its arguments
    QTest::addColumn<bool>("started");
    QTest::addColumn<QByteArray>("arguments"); // as recorded, each followed by '|'
    QTest::addColumn<QString>("reason"); // a text the reason must contain

    QTest::newRow("quoted arguments with blanks stay one argument each")
        << QStringLiteral("\"%1\" \"C:/My Tool/読んでね.txt\" /root,") << true
        << QByteArray("C:/My Tool/読んでね.txt|/root,|") << QString();
    QTest::newRow("a program that does not exist gives a reason naming it")
        << QStringLiteral("/nonexistent/pellora-viewer readme.txt") << false << QByteArray()
        << QStringLiteral("/nonexistent/pellora-viewer");
    QTest::newRow("an empty command line gives a reason") << QStringLiteral("  ") << false << QByteArray() << QString();
}

void tst_SystemShell::startsCommandLines()
{
    QFETCH(QString, commandLine);
    QFETCH(bool, started);
    QFETCH(QByteArray, arguments);
    QFETCH(QString, reason);

    QTemporaryDir temp;
    const QString program = temp.filePath(QStringLiteral("my tools/record"));
    writeScript(program, "printf '%s|' \"$@\" > \"$0.args\"\n");

    ScriptedShell shell;
    QString error;
    QCOMPARE(shell.startCommandLine(commandLine.replace(QStringLiteral("%1"), program), &error), started);
    if (started) {
        QTRY_COMPARE(contents(program + QStringLiteral(".args")), arguments);
    } else {
        QVERIFY(!error.isEmpty());
        QVERIFY(error.contains(reason));
    }
}

void tst_SystemShell::opensDocumentsThroughTheirAssociation_data()
{
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<bool>("haveXdgMime");
    QTest::addColumn<QByteArray>("defaultApp"); // what xdg-mime prints
    QTest::addColumn<int>("result"); // 0 for any success value

    const QByteArray app = "org.example.Viewer.desktop\n";
    QTest::newRow("an associated file is handed to xdg-open as one argument") << true << true << app << 0;
    QTest::newRow("a type without a default application has no association") << true << true << QByteArray() << 31;
    QTest::newRow("without xdg-mime nothing is associated") << true << false << app << 31;
    QTest::newRow("a missing file is reported as not found") << false << true << app << 2;
}

void tst_SystemShell::opensDocumentsThroughTheirAssociation()
{
    QFETCH(bool, fileExists);
    QFETCH(bool, haveXdgMime);
    QFETCH(QByteArray, defaultApp);
    QFETCH(int, result);

    QTemporaryDir temp;
    const QString bin = temp.filePath(QStringLiteral("bin"));
    const QString folder = temp.filePath(QStringLiteral("My Tool"));
    const QString file = folder + QStringLiteral("/読んでね 1.txt");
    QVERIFY(QDir().mkpath(folder));
    if (fileExists)
        test::writeFile(file, "hello\n");
    if (haveXdgMime)
        writeScript(
            bin + QStringLiteral("/xdg-mime"), "printf '%s|' \"$@\" > \"$0.args\"\nprintf '" + defaultApp + "'\n");
    writeScript(bin + QStringLiteral("/xdg-open"), "printf '%s|%s|' \"$(pwd -P)\" \"$@\" > \"$0.args\"\n");
    const EnvironmentGuard path("PATH", bin);

    ScriptedShell shell;
    const int answer = shell.openDocument(file, folder);
    const QString opened = bin + QStringLiteral("/xdg-open.args");
    if (result != 0) {
        QCOMPARE(answer, result);
        QTest::qWait(100); // a wrongly started xdg-open would have written by now
        QVERIFY(!QFileInfo::exists(opened));
        return;
    }
    QVERIFY(answer > 32);
    QCOMPARE(contents(bin + QStringLiteral("/xdg-mime.args")), QByteArray("query|default|text/plain|"));
    const QByteArray expected = QFile::encodeName(QFileInfo(folder).canonicalFilePath() + u'|' + file + u'|');
    QTRY_COMPARE(contents(opened), expected);
    QVERIFY(shell.asked.isEmpty());
}

QTEST_GUILESS_MAIN(tst_SystemShell)
#include "tst_SystemShell.moc"
