#include "platform/Autostart.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace pellora;
using namespace Qt::StringLiterals;

namespace {

// The arguments a desktop takes from an Exec value: the string escapes
// first, then the field codes ("%%" is a percent sign), then the quoting.
QStringList readExec(const QString &value)
{
    QString text;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\' && i + 1 < value.size()) {
            const QChar next = value[++i];
            text += next == u'n' ? u'\n' : next == u't' ? u'\t' : next == u'r' ? u'\r' : next == u's' ? u' ' : next;
        } else if (value[i] == u'%' && i + 1 < value.size() && value[i + 1] == u'%') {
            text += value[i++];
        } else {
            text += value[i];
        }
    }
    QStringList arguments;
    QString word;
    bool inWord = false;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'\\' && i + 1 < text.size() && QStringLiteral("\"`$\\").contains(text[i + 1]))
                word += text[++i];
            else if (c == u'"')
                quoted = false;
            else
                word += c;
        } else if (c == u' ') {
            if (inWord)
                arguments.append(word);
            word.clear();
            inWord = false;
        } else {
            inWord = true;
            if (c == u'"')
                quoted = true;
            else
                word += c;
        }
    }
    if (inWord)
        arguments.append(word);
    return arguments;
}

// The Exec value of an entry file.
QString execOf(const QByteArray &entry)
{
    for (const QByteArray &line : entry.split('\n')) {
        if (line.startsWith("Exec="))
            return QString::fromUtf8(line.mid(5));
    }
    return {};
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

// The at-login entry under a private $XDG_CONFIG_HOME: what its Exec line
// starts, and that only Pellora's own file is ever replaced or removed.
class tst_Autostart : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void execValueQuotesWhatADesktopWouldSplit_data();
    void execValueQuotesWhatADesktopWouldSplit();
    void controlCharactersCannotBeCarried();
    void entryIsWrittenOnceAndRemovedWhenOff();
    void aFileThatIsNotPelloraOwnIsLeftAlone_data();
    void aFileThatIsNotPelloraOwnIsLeftAlone();
    void aFailedWriteIsReportedAndKeepsThePreviousEntry();

private:
    std::unique_ptr<QTemporaryDir> m_config;
};

void tst_Autostart::init()
{
    m_config = std::make_unique<QTemporaryDir>();
    QVERIFY(m_config->isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config->path()));
    QCOMPARE(platform::watchAutostartPath(), m_config->filePath(u"autostart/pellora-watch.desktop"_s));
}

void tst_Autostart::execValueQuotesWhatADesktopWouldSplit_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("written"); // as the entry holds it, after "--watch "

    QTest::newRow("a plain folder stays unquoted") << u"/home/u/dl/"_s << u"/home/u/dl/"_s;
    QTest::newRow("a blank is quoted") << u"/home/u/My Downloads/"_s << uR"("/home/u/My Downloads/")"_s;
    QTest::newRow("a percent sign is doubled, not a field code") << u"/srv/100%/"_s << u"/srv/100%%/"_s;
    QTest::newRow("double quotes are escaped inside the quotes, the escape escaped again")
        << uR"(/a/"b"/)"_s << uR"("/a/\\"b\\"/")"_s;
    QTest::newRow("a backslash becomes four") << uR"(/a\b/)"_s << uR"("/a\\\\b/")"_s;
    QTest::newRow("a dollar sign is no variable") << u"/a/$HOME/"_s << uR"("/a/\\$HOME/")"_s;
    QTest::newRow("a single quote is quoted") << u"/a/it's/"_s << uR"("/a/it's/")"_s;
    QTest::newRow("a leading tilde is no home folder") << u"~/dl"_s << uR"("~/dl")"_s;
    QTest::newRow("a newline is a string escape inside quotes") << u"/a/b\nc/"_s << uR"("/a/b\nc/")"_s;
    QTest::newRow("a back quote and a semicolon") << u"/a/`x`;y/"_s << uR"("/a/\\`x\\`;y/")"_s;
    QTest::newRow("Japanese names pass as they are") << u"/home/u/ダウンロード/"_s << u"/home/u/ダウンロード/"_s;
}

void tst_Autostart::execValueQuotesWhatADesktopWouldSplit()
{
    QFETCH(QString, argument);
    QFETCH(QString, written);
    const QStringList arguments{ u"/opt/pellora/pellora"_s, u"--watch"_s, argument };
    const std::optional<QString> value = platform::execValue(arguments);
    QVERIFY(value);
    QCOMPARE(*value, u"/opt/pellora/pellora --watch "_s + written);
    QCOMPARE(readExec(*value), arguments);
}

void tst_Autostart::controlCharactersCannotBeCarried()
{
    QVERIFY(!platform::execValue({ u"/bin/p"_s, u"/a\x01b/"_s }));
    QVERIFY(!platform::execValue({ u"/bin/p"_s, QStringLiteral("/a\x7f/") }));
    QVERIFY(!platform::execValue({}));
    QVERIFY(!platform::watchAutostartEntry(QString(), u"/dl/"_s));
    // Nothing is written for them.
    const platform::AutostartChange change = platform::setWatchAtLogin(true, u"/bin/p"_s, u"/a\x1b/"_s);
    QCOMPARE(change.outcome, platform::AutostartChange::Unwritable);
    QVERIFY(!QFile::exists(platform::watchAutostartPath()));
}

void tst_Autostart::entryIsWrittenOnceAndRemovedWhenOff()
{
    const QString program = u"/opt/My Apps/pellora"_s;
    const QString folder = uR"(/home/u/"new" 100% $downloads/)"_s;
    const QString path = platform::watchAutostartPath();
    QCOMPARE(platform::setWatchAtLogin(true, program, folder).outcome, platform::AutostartChange::Written);
    const QByteArray entry = contents(path);
    QVERIFY(entry.startsWith("[Desktop Entry]\n"));
    QVERIFY(entry.contains("\nType=Application\n"));
    QVERIFY(platform::isWatchAutostartEntry(entry));
    QCOMPARE(readExec(execOf(entry)), (QStringList{ program, u"--watch"_s, folder }));
    // Again: the same file, and no temporary file left beside it.
    QCOMPARE(platform::setWatchAtLogin(true, program, folder).outcome, platform::AutostartChange::Written);
    QCOMPARE(contents(path), entry);
    QCOMPARE(QDir(m_config->filePath(u"autostart"_s)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
        QStringList{ u"pellora-watch.desktop"_s });
    // Without a folder the watch takes its own default.
    QCOMPARE(platform::setWatchAtLogin(true, program, QString()).outcome, platform::AutostartChange::Written);
    QCOMPARE(readExec(execOf(contents(path))), (QStringList{ program, u"--watch"_s }));

    QCOMPARE(platform::setWatchAtLogin(false, program, folder).outcome, platform::AutostartChange::Removed);
    QVERIFY(!QFile::exists(path));
    QCOMPARE(platform::setWatchAtLogin(false, program, folder).outcome, platform::AutostartChange::Absent);
}

void tst_Autostart::aFileThatIsNotPelloraOwnIsLeftAlone_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("the user's own entry of that name") << u"file"_s;
    QTest::newRow("an entry that merely mentions the marker's key") << u"lookalike"_s;
    QTest::newRow("a link to an entry of Pellora's elsewhere") << u"link"_s;
    QTest::newRow("a folder of that name") << u"folder"_s;
    QTest::newRow("a named pipe, which must not be opened") << u"pipe"_s;
}

void tst_Autostart::aFileThatIsNotPelloraOwnIsLeftAlone()
{
    QFETCH(QString, kind);
    const QString path = platform::watchAutostartPath();
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    const QByteArray own = "[Desktop Entry]\nType=Application\nName=Mine\nExec=/usr/bin/my-watch\n";
    const QString elsewhere = m_config->filePath(u"elsewhere.desktop"_s);
    if (kind == u"file") {
        test::writeFile(path, own);
    } else if (kind == u"lookalike") {
        test::writeFile(path, own + "X-Pellora=watch-not\n# X-Pellora=watch\n");
    } else if (kind == u"link") {
        test::writeFile(elsewhere, *platform::watchAutostartEntry(u"/bin/p"_s, QString()));
        QVERIFY(QFile::link(elsewhere, path));
    } else if (kind == u"folder") {
        QVERIFY(QDir().mkpath(path));
    } else {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    }
    const QFileInfo before(path);
    for (const bool on : { true, false }) {
        QCOMPARE(platform::setWatchAtLogin(on, u"/bin/p"_s, u"/dl/"_s).outcome, platform::AutostartChange::Foreign);
        const QFileInfo after(path);
        QCOMPARE(after.isSymLink(), before.isSymLink());
        QCOMPARE(after.isDir(), before.isDir());
        QVERIFY(after.exists() || after.isSymLink());
        if (kind == u"file")
            QCOMPARE(contents(path), own);
    }
    if (kind == u"link")
        QVERIFY(QFile::exists(elsewhere));
}

void tst_Autostart::aFailedWriteIsReportedAndKeepsThePreviousEntry()
{
    // A file where the autostart folder should be: nothing can be made there.
    test::writeFile(m_config->filePath(u"autostart"_s), "not a folder");
    platform::AutostartChange change = platform::setWatchAtLogin(true, u"/bin/p"_s, QString());
    QCOMPARE(change.outcome, platform::AutostartChange::Failed);
    QVERIFY(!change.reason.isEmpty());
    QCOMPARE(contents(m_config->filePath(u"autostart"_s)), QByteArray("not a folder"));

    // A folder that takes no new files: the entry there stays whole.
    QVERIFY(QFile::remove(m_config->filePath(u"autostart"_s)));
    QCOMPARE(platform::setWatchAtLogin(true, u"/bin/p"_s, u"/old/"_s).outcome, platform::AutostartChange::Written);
    const QByteArray previous = contents(platform::watchAutostartPath());
    QFile folder(m_config->filePath(u"autostart"_s));
    QVERIFY(folder.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
    if (::geteuid() != 0) {
        change = platform::setWatchAtLogin(true, u"/bin/p"_s, u"/new/"_s);
        QCOMPARE(change.outcome, platform::AutostartChange::Failed);
        QVERIFY(!change.reason.isEmpty());
        QCOMPARE(contents(platform::watchAutostartPath()), previous);
        QCOMPARE(platform::setWatchAtLogin(false, u"/bin/p"_s, QString()).outcome, platform::AutostartChange::Failed);
        QCOMPARE(contents(platform::watchAutostartPath()), previous);
    }
    QVERIFY(folder.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

QTEST_GUILESS_MAIN(tst_Autostart)
#include "tst_Autostart.moc"
