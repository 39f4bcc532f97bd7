// The history as the item list offers it: its menu entries, the runs the
// window lists and undo from there.
#include "core/ItemFile.h"
#include "core/RunHistory.h"
#include "core/modRegistry.h"
#include "platform/gui/Form.h"
#include "support/ArchiverRun.h"
#include "support/Forms.h"
#include "support/LetterItems.h"
#include "support/RecordingShell.h"
#include "support/TestSupport.h"
#include "support/ZipBuilder.h"
#include "ui/dialogs/frmHistory.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace pellora;
using ui::frmHistory;
using ui::frmMain;

namespace {

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

// A run as a manifest alone: what the window shows needs nothing else.
void writeRun(const QString &id, const QString &item, const QString &archive, const QString &target, int created,
    int replaced, bool undone = false)
{
    core::HistoryRun run;
    run.id = id;
    run.when = QDateTime::fromString(id.left(15), QStringLiteral("yyyyMMdd-HHmmss"));
    run.item = item;
    run.archive = archive;
    run.target = target;
    run.undone = undone;
    run.folder = QDir(core::historyFolder()).filePath(id);
    for (int i = 0; i < created + replaced; ++i) {
        core::HistoryEntry e;
        e.path = QStringLiteral("f%1").arg(i);
        e.kind = i < created ? core::HistoryEntry::File : core::HistoryEntry::Replaced;
        e.kept = QStringLiteral("k%1").arg(i);
        run.entries.append(e);
    }
    QVERIFY(QDir().mkpath(run.folder));
    QVERIFY(core::writeManifest(run));
}

// What a row of the window shows, its cells joined by "|".
QStringList shownRows(const frmHistory &window)
{
    QStringList rows;
    for (int r = 0; r < window.lvwHistory->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < window.lvwHistory->columnCount(); ++c)
            cells.append(window.lvwHistory->item(r, c)->text());
        rows.append(cells.join(u'|'));
    }
    return rows;
}

// Triggers an entry that opens the history window and acts on the window
// from inside its modal loop; the window is closed afterwards.
bool withHistoryWindow(QAction *entry, const std::function<void(frmHistory &)> &act)
{
    bool seen = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto *window = qobject_cast<frmHistory *>(QApplication::activeModalWidget())) {
            poll.stop();
            seen = true;
            act(*window);
            window->cmdClose->click();
        }
    });
    poll.start();
    entry->trigger();
    return seen;
}

} // namespace

class tst_frmHistory : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void historyNeedsASelectedRow_data();
    void historyNeedsASelectedRow();
    void itemRunsAreListedNewestFirst();
    void undoFromTheWindow_data();
    void undoFromTheWindow();
    void otherHistoryListsRunsNoItemShows();

private:
    frmMain &openWindow(const QString &letters);
    // Extracts a ZIP holding readme.txt with text over the target, recorded for item.
    QString extract(const QString &item, const QByteArray &text);

    QTemporaryDir m_config;
    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<test::RecordingShell> m_shell;
    QString m_target;
};

void tst_frmHistory::initTestCase()
{
    QVERIFY(test::isolateSettings(m_config));
    // The list and the history must land in the build tree, not in a user's data folder.
    QCOMPARE(QFileInfo(core::historyFolder()).absolutePath(), QCoreApplication::applicationDirPath());
}

void tst_frmHistory::init()
{
    core::DeleteSettingsKey();
    QFile::remove(core::itemFilePath());
    QDir(core::historyFolder()).removeRecursively();
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(m_work->isValid());
    m_target = m_work->filePath(QStringLiteral("soft"));
    m_shell = std::make_unique<test::RecordingShell>();
}

void tst_frmHistory::cleanup()
{
    m_shell->answers.clear();
    test::unloadForms<frmHistory, frmMain>();
    QFile::remove(core::itemFilePath());
    QDir(core::historyFolder()).removeRecursively();
    m_shell.reset();
    m_work.reset();
}

frmMain &tst_frmHistory::openWindow(const QString &letters)
{
    [&] { QVERIFY(!core::ItemFile(core::itemFilePath()).write(test::letterItems(letters)).has_value()); }();
    frmMain &form = platform::formInstance<frmMain>();
    form.Show();
    return form;
}

QString tst_frmHistory::extract(const QString &item, const QByteArray &text)
{
    const QString archive = m_work->filePath(QString::fromLatin1(text.trimmed()) + QStringLiteral(".zip"));
    test::writeZip(archive, { { "readme.txt", text }, { QByteArray("doc/") + text.trimmed() + ".txt", text } });
    core::Recording recording(core::historyFolder(), item, archive, m_target);
    {
        core::RecordingScope scope(&recording);
        const test::CommandRun run
            = test::extractAll(QStringLiteral("ZIP"), archive, m_target + u'/', QStringLiteral(" -o"));
        if (run.code != 0)
            qWarning() << run.report;
    }
    return recording.finish();
}

void tst_frmHistory::historyNeedsASelectedRow_data()
{
    QTest::addColumn<QString>("letters");
    QTest::addColumn<int>("selected");
    QTest::newRow("an empty list has no item to show the history of") << QString() << -1;
    QTest::newRow("rows without a selected one leave the item's history disabled") << QStringLiteral("AB") << -1;
    QTest::newRow("a selected row enables its history") << QStringLiteral("AB") << 1;
}

void tst_frmHistory::historyNeedsASelectedRow()
{
    QFETCH(QString, letters);
    QFETCH(int, selected);
    frmMain &form = openWindow(letters);
    form.lvwMain->clearSelection();
    form.selectRow(selected);
    form.mnuItem->popup(QPoint(0, 0));
    QVERIFY(form.mnuItem->actions().contains(form.mnuItemHistory));
    QCOMPARE(form.mnuItemHistory->text(), QStringLiteral("履歴(&H)"));
    QCOMPARE(form.mnuItemHistory->isEnabled(), selected >= 0);
    // Runs without an item are there whatever the selection.
    QCOMPARE(form.mnuItemOtherHistory->text(), QStringLiteral("その他の履歴"));
    QVERIFY(form.mnuItemOtherHistory->isEnabled());
    form.mnuItem->hide();
    // Without a selection the entry does nothing, also when triggered by a shortcut of its menu.
    if (selected < 0) {
        form.mnuItemHistory->setEnabled(true);
        QVERIFY(!withHistoryWindow(form.mnuItemHistory, [](frmHistory &) {}));
    }
}

void tst_frmHistory::itemRunsAreListedNewestFirst()
{
    const QString t = m_target;
    writeRun(QStringLiteral("20260101-100000-000-000"), QStringLiteral("B"), QStringLiteral("/dl/b100.zip"), t, 3, 1);
    writeRun(QStringLiteral("20260301-100000-000-000"), QStringLiteral("B"), QStringLiteral("/dl/b300.lzh"), t, 0, 2);
    writeRun(
        QStringLiteral("20260201-100000-000-000"), QStringLiteral("B"), QStringLiteral("/dl/b200.zip"), t, 5, 0, true);
    writeRun(QStringLiteral("20260401-100000-000-000"), QStringLiteral("A"), QStringLiteral("/dl/a.zip"), t, 1, 1);
    writeRun(QStringLiteral("20260501-100000-000-000"), QString(), QStringLiteral("/dl/b.zip"), t, 1, 1);
    frmMain &form = openWindow(QStringLiteral("AB"));
    form.selectRow(1);

    QStringList rows, ids;
    bool undoEnabled = false;
    QVERIFY(withHistoryWindow(form.mnuItemHistory, [&](frmHistory &w) {
        rows = shownRows(w);
        for (int r = 0; r < w.lvwHistory->rowCount(); ++r)
            ids.append(w.runId(r));
        undoEnabled = w.cmdUndo->isEnabled();
        QCOMPARE(w.windowTitle(), QStringLiteral("履歴 - B"));
    }));
    QCOMPARE(ids,
        (QStringList{ QStringLiteral("20260301-100000-000-000"), QStringLiteral("20260201-100000-000-000"),
            QStringLiteral("20260101-100000-000-000") }));
    // Archive names without their folder; created and replaced files counted.
    QCOMPARE(rows,
        (QStringList{ QStringLiteral("2026/03/01 10:00:00|b300.lzh|0|2|") + t,
            QStringLiteral("2026/02/01 10:00:00 (元に戻し済み)|b200.zip|5|0|") + t,
            QStringLiteral("2026/01/01 10:00:00|b100.zip|3|1|") + t }));
    QVERIFY(undoEnabled);
}

void tst_frmHistory::undoFromTheWindow_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QByteArray>("readme");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("rowsAfter");
    QTest::newRow("undoing the newest run brings back the file it replaced")
        << 0 << QByteArray("v1\n") << QStringLiteral("解凍の前の状態に戻しました。\n\n") << 1;
    QTest::newRow("undoing the older run first is refused and changes nothing")
        << 1 << QByteArray("v2\n")
        << QStringLiteral("元に戻せませんでした。\n\nより新しい解凍 %1 を先に元に戻してください。") << 2;
}

void tst_frmHistory::undoFromTheWindow()
{
    QFETCH(int, row);
    QFETCH(QByteArray, readme);
    QFETCH(QString, message);
    QFETCH(int, rowsAfter);
    test::writeFile(m_target + QStringLiteral("/readme.txt"), "the user's own\n");
    const QString older = extract(QStringLiteral("A"), "v1\n");
    const QString newer = extract(QStringLiteral("A"), "v2\n");
    QVERIFY(!older.isEmpty() && !newer.isEmpty() && older < newer);
    QCOMPARE(contents(m_target + QStringLiteral("/readme.txt")), QByteArray("v2\n"));
    frmMain &form = openWindow(QStringLiteral("A"));
    form.selectRow(0);
    m_shell->answers = { platform::vbYes, platform::vbOK };

    QStringList before, after;
    QVERIFY(withHistoryWindow(form.mnuItemHistory, [&](frmHistory &w) {
        before = shownRows(w);
        w.lvwHistory->selectRow(row);
        w.cmdUndo->click();
        after = shownRows(w);
    }));
    QCOMPARE(before.size(), 2);
    QCOMPARE(before.at(0).section(u'|', 1, 3), QStringLiteral("v2.zip|1|1"));
    QCOMPARE(before.at(1).section(u'|', 1, 3), QStringLiteral("v1.zip|1|1"));
    QCOMPARE(after.size(), rowsAfter);
    QCOMPARE(contents(m_target + QStringLiteral("/readme.txt")), readme);
    const QStringList boxes = m_shell->callsOf(QStringLiteral("messageBox"));
    QCOMPARE(boxes.size(), 2);
    QVERIFY(boxes.at(0).contains(QStringLiteral("よろしいですか?")));
    QVERIFY2(boxes.at(1).section(u'|', 1, 1).startsWith(message.contains(u'%') ? message.arg(newer) : message),
        qPrintable(boxes.at(1)));
    if (row == 0) {
        QVERIFY(boxes.at(1).contains(QStringLiteral("元に戻しました: readme.txt")));
        QVERIFY(!QFile::exists(m_target + QStringLiteral("/doc/v2.txt")));
    }
}

void tst_frmHistory::otherHistoryListsRunsNoItemShows()
{
    const QString a = m_work->filePath(QStringLiteral("a")), z = m_work->filePath(QStringLiteral("z"));
    writeRun(QStringLiteral("20260101-100000-000-000"), QString(), QStringLiteral("/dl/one.zip"), z, 1, 0);
    writeRun(QStringLiteral("20260201-100000-000-000"), QString(), QStringLiteral("/dl/two.zip"), a, 2, 0);
    writeRun(QStringLiteral("20260301-100000-000-000"), QString(), QStringLiteral("/dl/three.zip"), z, 3, 0);
    writeRun(QStringLiteral("20260401-100000-000-000"), QStringLiteral("A"), QStringLiteral("/dl/a.zip"), a, 4, 0);
    // An item removed from the list leaves its runs to this window.
    writeRun(QStringLiteral("20260501-100000-000-000"), QStringLiteral("Gone"), QStringLiteral("/dl/g.zip"), z, 5, 0);
    frmMain &form = openWindow(QStringLiteral("A"));
    form.selectRow(0);

    QStringList archives;
    QString title;
    QVERIFY(withHistoryWindow(form.mnuItemOtherHistory, [&](frmHistory &w) {
        title = w.windowTitle();
        for (const QString &r : shownRows(w))
            archives.append(r.section(u'|', 1, 1) + u'@' + QFileInfo(r.section(u'|', 4, 4)).fileName());
    }));
    QCOMPARE(title, QStringLiteral("その他の履歴"));
    // By target folder, newest first within one.
    QCOMPARE(archives,
        (QStringList{ QStringLiteral("two.zip@a"), QStringLiteral("g.zip@z"), QStringLiteral("three.zip@z"),
            QStringLiteral("one.zip@z") }));
}

QTEST_MAIN(tst_frmHistory)
#include "tst_frmHistory.moc"
