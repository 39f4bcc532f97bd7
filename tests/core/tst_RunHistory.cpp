// Recording extraction runs and undoing them, over real temporary trees.
#include "core/RunHistory.h"
#include "core/Undo.h"
#include "support/ArchiverRun.h"
#include "support/TestSupport.h"
#include "support/ZipBuilder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace pellora;

namespace {

const QByteArray kOldReadme = "the user's own notes\n";
const QByteArray kNewReadme = "version 2 read-me\n";

// A target folder with files of the user's, a v2 archive that replaces one
// and creates others in nested new folders, and a history folder.
struct Scene {
    QTemporaryDir dir;
    QString target, history, archive;

    Scene()
    {
        target = dir.filePath(QStringLiteral("soft"));
        history = dir.filePath(QStringLiteral("history"));
        archive = dir.filePath(QStringLiteral("v2.zip"));
        test::writeFile(target + QStringLiteral("/readme.txt"), kOldReadme);
        test::writeFile(target + QStringLiteral("/conf/keep.ini"), "mine\n");
        ::chmod(QFile::encodeName(target + QStringLiteral("/readme.txt")).constData(), 0640);
        const struct timespec old[2] = { { 1000000, 5 }, { 1200000000, 123456789 } };
        ::utimensat(AT_FDCWD, QFile::encodeName(target + QStringLiteral("/readme.txt")).constData(), old, 0);
        test::writeZip(
            archive, { { "readme.txt", kNewReadme }, { "conf/new.ini", "x=1\n" }, { "bin/sub/deep/tool", "tool" } });
    }

    // Extracts the archive into the target (replacing whatever its dates), recorded.
    QString extract(bool copyOnly = false, const QString &item = QStringLiteral("soft"))
    {
        return extractOf(QStringLiteral("ZIP"), archive, copyOnly, item);
    }
    QString extractOf(
        const QString &kind, const QString &from, bool copyOnly = false, const QString &item = QStringLiteral("soft"))
    {
        QDir().mkpath(history);
        core::Recording recording(history, item, from, target);
        recording.setCopyOnly(copyOnly);
        {
            core::RecordingScope scope(&recording);
            const test::CommandRun run = test::extractAll(kind, from, target + u'/', QStringLiteral(" -o"));
            if (run.code != 0)
                qWarning() << run.report;
        }
        return recording.finish();
    }
    QString path(const char *relative) const { return QDir(target).filePath(QString::fromUtf8(relative)); }
};

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

ino_t inode(const QString &path)
{
    struct stat st { };
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st.st_ino;
}

} // namespace

class tst_RunHistory : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void undoBringsTheTreeBackExactly_data();
    void undoBringsTheTreeBackExactly();
    void aChangeAfterTheRunIsNeverDestroyed_data();
    void aChangeAfterTheRunIsNeverDestroyed();
    void aKeptCopyStandsOnItsOwn_data();
    void aKeptCopyStandsOnItsOwn();
    void undoTakesOnlyTheLinksTheRunMade_data();
    void undoTakesOnlyTheLinksTheRunMade();
    void runsOfOneItemAreUndoneNewestFirst();
    void retentionRemovesTheOldestRuns_data();
    void retentionRemovesTheOldestRuns();
    void aManifestThatClimbsOutIsIgnored();
    void aManifestReadsBackAsWritten_data();
    void aManifestReadsBackAsWritten();
    void theContentCrcIsCrc32cInAnyPieces_data();
    void theContentCrcIsCrc32cInAnyPieces();
};

void tst_RunHistory::undoBringsTheTreeBackExactly_data()
{
    QTest::addColumn<bool>("copyOnly");
    QTest::newRow("old version kept by a hard link") << false;
    QTest::newRow("old version kept by a copy, as across file systems") << true;
}

void tst_RunHistory::undoBringsTheTreeBackExactly()
{
    QFETCH(bool, copyOnly);
    Scene scene;
    const QStringList before = test::treeState(scene.target);
    const ino_t oldInode = inode(scene.path("readme.txt"));

    const QString id = scene.extract(copyOnly);
    QVERIFY(!id.isEmpty());
    QCOMPARE(contents(scene.path("readme.txt")), kNewReadme);
    const QList<core::HistoryRun> runs = core::listRuns(scene.history);
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs.at(0).count(core::HistoryEntry::Replaced), 1);
    QCOMPARE(runs.at(0).count(core::HistoryEntry::File), 2);
    QCOMPARE(runs.at(0).count(core::HistoryEntry::Folder), 3); // bin, bin/sub, bin/sub/deep
    const QString kept = QDir(runs.at(0).folder).filePath(runs.at(0).entries.at(0).kept);
    QCOMPARE(contents(kept), kOldReadme);
    QCOMPARE(inode(kept) == oldInode, !copyOnly);

    const core::UndoResult result = core::undoRun(scene.history, id);
    QVERIFY2(result.status == core::UndoResult::Restored, qPrintable(result.lines.join(u'\n')));
    QCOMPARE(result.exitCode(), 0);
    QCOMPARE(test::treeState(scene.target), before);
    QVERIFY(core::listRuns(scene.history).isEmpty());
}

void tst_RunHistory::aChangeAfterTheRunIsNeverDestroyed_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("reported");
    QTest::newRow("a created file edited") << "edit conf/new.ini"
                                           << "conf/new.ini";
    QTest::newRow("a replaced file edited") << "edit readme.txt"
                                            << "readme.txt";
    QTest::newRow("a created file edited, its size and time put back") << "sneak conf/new.ini"
                                                                       << "conf/new.ini";
    QTest::newRow("a link planted at a created file") << "link conf/new.ini"
                                                      << "conf/new.ini";
    QTest::newRow("a link planted at a replaced file") << "link readme.txt"
                                                       << "readme.txt";
    QTest::newRow("a link planted in place of a created folder") << "link bin/sub"
                                                                 << "bin/sub";
    QTest::newRow("a file of the user's in a created folder") << "add bin/sub/deep/mine.txt"
                                                              << "bin/sub/deep";
}

void tst_RunHistory::aChangeAfterTheRunIsNeverDestroyed()
{
    QFETCH(QString, change);
    QFETCH(QString, reported);
    Scene scene;
    const QString id = scene.extract();
    const QString verb = change.section(u' ', 0, 0);
    const QString where = QDir(scene.target).filePath(change.section(u' ', 1));
    // Outside the target: a planted link must not lead the undo there.
    const QString outside = scene.dir.filePath(QStringLiteral("outside"));
    test::writeFile(outside + QStringLiteral("/deep/tool"), "tool");
    test::writeFile(outside + QStringLiteral("/file"), "tool");
    if (verb == u"edit") {
        test::writeFile(where, "the user's edit\n");
    } else if (verb == u"sneak") {
        // Only the content tells this change apart.
        struct stat st { };
        QCOMPARE(::stat(QFile::encodeName(where).constData(), &st), 0);
        test::writeFile(where, "x=2\n");
        const struct timespec times[2] = { st.st_atim, st.st_mtim };
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(where).constData(), times, 0), 0);
    } else if (verb == u"add") {
        test::writeFile(where, "mine");
    } else {
        QDir(where).removeRecursively();
        QFile::remove(where);
        const QString pointee = where.endsWith(u"sub") ? outside : outside + QStringLiteral("/file");
        QVERIFY(QFile::link(pointee, where));
    }
    const QStringList outsideBefore = test::treeState(outside);

    const core::UndoResult result = core::undoRun(scene.history, id);
    QVERIFY2(result.status == core::UndoResult::Partly, qPrintable(result.lines.join(u'\n')));
    QCOMPARE(result.exitCode(), 1);
    QVERIFY2(result.lines.join(u'\n').contains(QStringLiteral("残しました: ") + reported),
        qPrintable(result.lines.join(u'\n')));
    QCOMPARE(test::treeState(outside), outsideBefore);
    // What the user made is still there; the replaced file is back whatever
    // happened to it, and the user's version of it waits beside it.
    QCOMPARE(contents(scene.path("readme.txt")), kOldReadme);
    if (reported == u"readme.txt") {
        const QStringList aside
            = QDir(scene.target).entryList({ QStringLiteral("readme.txt.*") }, QDir::AllEntries | QDir::System);
        QCOMPARE(aside.size(), 1);
        const QString asidePath = QDir(scene.target).filePath(aside.at(0));
        QVERIFY(verb == u"edit" ? contents(asidePath) == "the user's edit\n" : QFileInfo(asidePath).isSymLink());
    } else if (verb == u"edit") {
        QCOMPARE(contents(where), QByteArray("the user's edit\n"));
    } else if (verb == u"sneak") {
        QCOMPARE(contents(where), QByteArray("x=2\n"));
    } else if (verb == u"add") {
        QCOMPARE(contents(where), QByteArray("mine"));
    } else {
        QVERIFY(QFileInfo(where).isSymLink());
    }
    // Everything the run made and nobody touched is gone.
    QVERIFY(!QFile::exists(scene.path("bin/sub/deep/tool")) || change.startsWith(u"link bin"));
}

void tst_RunHistory::aKeptCopyStandsOnItsOwn_data()
{
    QTest::addColumn<QString>("where"); // of the history
    QTest::addColumn<bool>("copyOnly");
    QTest::addColumn<bool>("secondName"); // the replaced file has another name outside the target
    QTest::newRow("a copy forced beside the target") << "beside" << true << false;
    QTest::newRow("a history on a tmpfs") << "tmpfs" << false << false;
    // A hard link would share the file with its other name: an edit there
    // would change the version the undo brings back.
    QTest::newRow("a replaced file with a second name") << "beside" << false << true;
}

void tst_RunHistory::aKeptCopyStandsOnItsOwn()
{
    QFETCH(QString, where);
    QFETCH(bool, copyOnly);
    QFETCH(bool, secondName);
    Scene scene;
    std::optional<QTemporaryDir> elsewhere;
    if (where == u"tmpfs") {
        struct stat shm {
        }, here{};
        if (::stat("/dev/shm", &shm) != 0 || ::stat(QFile::encodeName(scene.dir.path()).constData(), &here) != 0
            || shm.st_dev == here.st_dev)
            QSKIP("no /dev/shm on a file system of its own");
        elsewhere.emplace(QStringLiteral("/dev/shm/pellora-history-XXXXXX"));
        QVERIFY(elsewhere->isValid());
        scene.history = elsewhere->filePath(QStringLiteral("history"));
    }
    const QString other = scene.dir.filePath(QStringLiteral("other-name.txt"));
    if (secondName)
        QCOMPARE(
            ::link(QFile::encodeName(scene.path("readme.txt")).constData(), QFile::encodeName(other).constData()), 0);
    const QStringList before = test::treeState(scene.target);

    const QString id = scene.extract(copyOnly);
    QVERIFY(!id.isEmpty());
    const QList<core::HistoryRun> runs = core::listRuns(scene.history);
    QCOMPARE(runs.size(), 1);
    const QString kept = QDir(runs.at(0).folder).filePath(runs.at(0).entries.at(0).kept);
    struct stat st { };
    QCOMPARE(::lstat(QFile::encodeName(kept).constData(), &st), 0);
    QCOMPARE(st.st_nlink, nlink_t(1));
    // Whatever is done to the target or the old file's other name after the
    // run, the kept version is the one the run replaced.
    test::writeFile(scene.path("readme.txt"), "edited after the run\n");
    if (secondName) {
        QFile otherFile(other);
        QVERIFY(otherFile.open(QIODevice::WriteOnly | QIODevice::Append));
        otherFile.write("appended through the other name\n");
    }
    QCOMPARE(contents(kept), kOldReadme);

    // The edit is kept beside; the replaced file comes back with its content, mode and times.
    const core::UndoResult result = core::undoRun(scene.history, id);
    QCOMPARE(result.exitCode(), 1);
    QCOMPARE(contents(scene.path("readme.txt")), kOldReadme);
    QStringList after = test::treeState(scene.target);
    after.removeIf([](const QString &line) { return line.startsWith(u"readme.txt."); });
    QCOMPARE(after, before);
}

void tst_RunHistory::undoTakesOnlyTheLinksTheRunMade_data()
{
    QTest::addColumn<QString>("changed"); // a link changed after the run; none: none
    QTest::addColumn<QString>("linkNow"); // its target then; none: a file put in its place
    QTest::newRow("untouched links go") << QString() << QString();
    QTest::newRow("a link pointed elsewhere stays") << QStringLiteral("tool-1.2.3/doc") << QStringLiteral("share");
    QTest::newRow("a file in a link's place stays") << QStringLiteral("tool-1.2.3/lib/libtool.so") << QString();
}

void tst_RunHistory::undoTakesOnlyTheLinksTheRunMade()
{
    QFETCH(QString, changed);
    QFETCH(QString, linkNow);
    Scene scene;
    const QStringList before = test::treeState(scene.target);
    const QString id = scene.extractOf(QStringLiteral("TAR"), test::dataPath(QStringLiteral("tar/tool-1.2.3.tar.xz")));
    QVERIFY(!id.isEmpty());
    const QList<core::HistoryRun> runs = core::listRuns(scene.history);
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs.at(0).count(core::HistoryEntry::Link), 3);
    const QString libLink = scene.path("tool-1.2.3/bin/libtool");
    QCOMPARE(QFileInfo(libLink).symLinkTarget(), QFileInfo(scene.path("tool-1.2.3/lib/libtool.so.1")).filePath());

    const QString changedPath = QDir(scene.target).filePath(changed);
    if (!changed.isEmpty()) {
        QVERIFY(QFile::remove(changedPath));
        if (linkNow.isEmpty())
            test::writeFile(changedPath, "the user's own\n");
        else
            QCOMPARE(::symlink(QFile::encodeName(linkNow).constData(), QFile::encodeName(changedPath).constData()), 0);
    }
    const core::UndoResult result = core::undoRun(scene.history, id);
    const QString lines = result.lines.join(u'\n');
    QVERIFY(!QFileInfo::exists(libLink) && !QFileInfo(libLink).isSymLink());
    if (changed.isEmpty()) {
        QVERIFY2(result.status == core::UndoResult::Restored, qPrintable(lines));
        QCOMPARE(test::treeState(scene.target), before);
        return;
    }
    QCOMPARE(result.exitCode(), 1);
    QVERIFY2(
        lines.contains(QStringLiteral("残しました: %1 (解凍の後に変更されています)").arg(changed)), qPrintable(lines));
    const QFileInfo left(changedPath);
    QCOMPARE(left.isSymLink(), !linkNow.isEmpty());
    if (linkNow.isEmpty())
        QCOMPARE(contents(changedPath), QByteArray("the user's own\n"));
    else
        QCOMPARE(QFile::symLinkTarget(changedPath), QFileInfo(scene.path("tool-1.2.3/share")).filePath());
}

void tst_RunHistory::runsOfOneItemAreUndoneNewestFirst()
{
    Scene scene;
    const QStringList before = test::treeState(scene.target);
    const QString first = scene.extract();
    test::writeZip(scene.archive, { { "readme.txt", "version 3\n" }, { "v3.txt", "3" } });
    const QString second = scene.extract();
    QVERIFY(!first.isEmpty() && !second.isEmpty() && first < second);

    const core::UndoResult refused = core::undoRun(scene.history, first);
    QCOMPARE(refused.exitCode(), 2);
    QVERIFY(refused.lines.join(u'\n').contains(second));
    QCOMPARE(contents(scene.path("readme.txt")), QByteArray("version 3\n"));

    QCOMPARE(core::undoLastRun(scene.history).exitCode(), 0);
    QCOMPARE(contents(scene.path("readme.txt")), kNewReadme);
    QCOMPARE(core::undoLastRun(scene.history).exitCode(), 0);
    QCOMPARE(test::treeState(scene.target), before);
    QCOMPARE(core::undoLastRun(scene.history).exitCode(), 2);
}

void tst_RunHistory::retentionRemovesTheOldestRuns_data()
{
    QTest::addColumn<int>("runsPerItem");
    QTest::addColumn<int>("bytesOfNewest"); // the byte limit: what the newest n runs keep (-1: no limit)
    QTest::addColumn<int>("kept");
    // Three runs of one item, then one of another.
    QTest::newRow("within both limits") << 5 << -1 << 4;
    QTest::newRow("two runs per item") << 2 << -1 << 3;
    QTest::newRow("bytes for the newest two runs") << 5 << 2 << 2;
    QTest::newRow("no bytes at all still keeps the newest run") << 5 << 0 << 1;
}

void tst_RunHistory::retentionRemovesTheOldestRuns()
{
    QFETCH(int, runsPerItem);
    QFETCH(int, bytesOfNewest);
    QFETCH(int, kept);
    Scene scene;
    QStringList ids;
    for (const char *item : { "soft", "soft", "soft", "other" })
        ids.prepend(scene.extract(false, QString::fromLatin1(item)));
    qint64 maxBytes = bytesOfNewest < 0 ? qint64(1) << 40 : 0;
    const QList<core::HistoryRun> all = core::listRuns(scene.history);
    for (int i = 0; i < bytesOfNewest; ++i)
        maxBytes += all.at(i).keptBytes;
    QVERIFY(all.at(0).keptBytes > 0);
    core::applyRetention(scene.history, runsPerItem, maxBytes);
    QStringList left;
    for (const core::HistoryRun &run : core::listRuns(scene.history))
        left.append(run.id);
    QCOMPARE(left, ids.mid(0, kept));
}

void tst_RunHistory::aManifestThatClimbsOutIsIgnored()
{
    Scene scene;
    const QString id = scene.extract();
    const QString manifest = QDir(scene.history).filePath(id + QStringLiteral("/manifest.json"));
    QByteArray text = contents(manifest);
    QVERIFY(text.contains("\"conf/new.ini\""));
    test::writeFile(scene.dir.filePath(QStringLiteral("victim.ini")), "x=1\n");
    text.replace("\"conf/new.ini\"", "\"../victim.ini\"");
    test::writeFile(manifest, text);
    QVERIFY(core::listRuns(scene.history).isEmpty());
    QCOMPARE(core::undoRun(scene.history, id).exitCode(), 2);
    QVERIFY(QFile::exists(scene.dir.filePath(QStringLiteral("victim.ini"))));
}

void tst_RunHistory::aManifestReadsBackAsWritten_data()
{
    QTest::addColumn<QString>("name"); // of every path, the item and the archive
    QTest::newRow("plain") << QStringLiteral("readme.txt");
    QTest::newRow("quotes and backslashes") << QStringLiteral("a \"quoted\" \\name\\");
    QTest::newRow("control characters") << QStringLiteral("tab\there\nline\x01\x1f\x7f");
    QTest::newRow("Japanese and beyond the BMP") << QStringLiteral("説明書 \U0001F600.txt");
}

void tst_RunHistory::aManifestReadsBackAsWritten()
{
    QFETCH(QString, name);
    QTemporaryDir dir;
    core::HistoryRun run;
    run.id = QStringLiteral("20260102-030405-678-000");
    run.folder = dir.filePath(run.id);
    QVERIFY(QDir().mkpath(run.folder));
    run.when = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5));
    run.item = name;
    run.archive = QStringLiteral("/dl/") + name;
    run.target = QStringLiteral("/soft/") + name;
    run.undone = true;
    core::HistoryEntry folder;
    folder.path = QStringLiteral("dir");
    folder.kind = core::HistoryEntry::Folder;
    core::HistoryEntry file;
    file.path = QStringLiteral("dir/") + name;
    file.size = 1LL << 40;
    file.mtimeNs = 1733000000123456789LL; // beyond a double's exact range
    file.crc = 0xFFFFFFFFu;
    core::HistoryEntry replaced = file;
    replaced.path = name;
    replaced.kind = core::HistoryEntry::Replaced;
    replaced.kept = QStringLiteral("1");
    replaced.oldSize = 7;
    replaced.oldMtimeNs = -1000000001LL; // before 1970
    replaced.oldAtimeNs = 999999999LL;
    replaced.oldMode = 04755;
    core::HistoryEntry link;
    link.path = QStringLiteral("dir/link");
    link.kind = core::HistoryEntry::Link;
    link.linkTarget = QStringLiteral("../") + name;
    run.entries = { folder, file, replaced, link };
    QVERIFY(core::writeManifest(run));

    const QList<core::HistoryRun> runs = core::listRuns(dir.path());
    QCOMPARE(runs.size(), 1);
    const core::HistoryRun &back = runs.at(0);
    QCOMPARE(back.id, run.id);
    QCOMPARE(back.when, run.when);
    QCOMPARE(back.item, run.item);
    QCOMPARE(back.archive, run.archive);
    QCOMPARE(back.target, run.target);
    QCOMPARE(back.undone, true);
    QCOMPARE(back.keptBytes, 7);
    QCOMPARE(back.entries.size(), 4);
    for (int i = 0; i < 4; ++i) {
        const core::HistoryEntry &a = run.entries.at(i), &b = back.entries.at(i);
        const bool sized = a.kind == core::HistoryEntry::File || a.kind == core::HistoryEntry::Replaced;
        QCOMPARE(b.path, a.path);
        QCOMPARE(b.kind, a.kind);
        QCOMPARE(b.linkTarget, a.linkTarget);
        QCOMPARE(b.size, sized ? a.size : 0);
        QCOMPARE(b.mtimeNs, sized ? a.mtimeNs : 0);
        QCOMPARE(b.crc, sized ? a.crc : 0);
        QCOMPARE(b.kept, a.kept);
        QCOMPARE(b.oldSize, a.oldSize);
        QCOMPARE(b.oldMtimeNs, a.oldMtimeNs);
        QCOMPARE(b.oldAtimeNs, a.oldAtimeNs);
        QCOMPARE(b.oldMode, a.oldMode);
    }
}

void tst_RunHistory::theContentCrcIsCrc32cInAnyPieces_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<quint32>("expected");
    QTest::newRow("the standard check value") << QByteArray("123456789") << quint32(0xE3069283);
    QTest::newRow("nothing") << QByteArray() << quint32(0);
    QTest::newRow("32 zero bytes") << QByteArray(32, '\0') << quint32(0x8A9136AA);
    // Long blocks are taken in stripes side by side: lengths around their
    // joints, checked against the plain bit-by-bit definition.
    for (const int size : { 6143, 6144, 6151, 12288 + 4096 + 7, 40000 }) {
        QByteArray data(size, '\0');
        quint32 x = 0x9E3779B9u + quint32(size);
        for (char &c : data) {
            x = x * 1664525u + 1013904223u;
            c = char(x >> 24);
        }
        quint32 crc = 0xFFFFFFFFu;
        for (const char c : data) {
            crc ^= quint8(c);
            for (int k = 0; k < 8; ++k)
                crc = (crc >> 1) ^ (0x82F63B78u & (0u - (crc & 1u)));
        }
        QTest::addRow("%d patterned bytes", size) << data << ~crc;
    }
}

void tst_RunHistory::theContentCrcIsCrc32cInAnyPieces()
{
    QFETCH(QByteArray, data);
    QFETCH(quint32, expected);
    QCOMPARE(arc::contentCrc(0, data.constData(), size_t(data.size())), expected);
    // Written in blocks of any size, a file gets the same value.
    for (qsizetype cut = 0; cut <= data.size(); cut += data.size() > 64 ? 97 : 1) {
        const quint32 first = arc::contentCrc(0, data.constData(), size_t(cut));
        QCOMPARE(arc::contentCrc(first, data.constData() + cut, size_t(data.size() - cut)), expected);
    }
}

QTEST_GUILESS_MAIN(tst_RunHistory)
#include "tst_RunHistory.moc"
