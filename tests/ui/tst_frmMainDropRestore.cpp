#include "core/ItemFile.h"
#include "core/clsItem.h"
#include "core/modRegistry.h"
#include "platform/Shell.h"
#include "platform/archiver/ArchiverRegistry.h"
#include "platform/gui/Form.h"
#include "support/FakeArchiver.h"
#include "support/Forms.h"
#include "support/GuiActions.h"
#include "support/ItemList.h"
#include "support/MainWindow.h"
#include "support/RecordingShell.h"
#include "support/TestSupport.h"
#include "ui/dialogs/frmItem.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>

using namespace pellora;
using core::ItemRecord;
using test::messageBoxCall;
using test::removeItemFile;
using test::rowsOf;
using test::settle;
using test::writeItems;
using ui::frmItem;
using ui::frmMain;

namespace {

const QString kNone = QStringLiteral("(なし)");
const QString kAsk = QStringLiteral(" を復元しますか?");
const QString kAddCaption = QStringLiteral("新しいアイテムの追加");

QMimeData *fileList(const QStringList &paths)
{
    auto *data = new QMimeData;
    QList<QUrl> urls;
    for (const QString &p : paths)
        urls.append(QUrl::fromLocalFile(p));
    data->setUrls(urls);
    return data;
}

QMimeData *text(const QString &t)
{
    auto *data = new QMimeData;
    data->setText(t);
    return data;
}

// What the list offers while data is dragged over it: enter, then a move.
Qt::DropAction offeredEffect(frmMain &form, const QMimeData *data)
{
    QWidget *viewport = form.lvwMain->viewport();
    const QPoint at(10, 10);
    const Qt::DropActions possible = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    QDragEnterEvent enter(at, possible, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &enter);
    const Qt::DropAction onEnter = enter.isAccepted() ? enter.dropAction() : Qt::IgnoreAction;
    QDragMoveEvent move(at + QPoint(3, 3), possible, data, Qt::RightButton, Qt::ShiftModifier);
    QCoreApplication::sendEvent(viewport, &move);
    const Qt::DropAction onMove = move.isAccepted() ? move.dropAction() : Qt::IgnoreAction;
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(viewport, &leave);
    return onEnter == onMove ? onEnter : Qt::IgnoreAction;
}

struct EditorSeen {
    int openings = 0;
    QString caption;
    QStringList texts; // name, pattern, folder, related file
    bool relationEnabled = true;
    bool addMode = false;
};

// The entries a restore list shows: visible ones, as the user reads them.
QStringList shownEntries(QMenu *list)
{
    QStringList shown;
    for (QAction *a : list->actions()) {
        if (a->isVisible())
            shown.append(a->text());
    }
    return shown;
}

// The names of folder in the order the system lists them, kept when wanted.
QStringList directoryOrder(const QString &folder, const std::function<bool(const QString &)> &wanted)
{
    QStringList names;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        if (wanted(it.fileName()))
            names.append(it.fileName());
    }
    return names;
}

const int kRestoreQuestion = platform::vbYesNo | platform::vbQuestion | platform::vbDefaultButton2;

} // namespace

class tst_frmMainDropRestore : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void theListTakesDropsOfFilesOnly();
    void droppingAFileOpensTheEditorWithAPattern();
    void droppingTwoFilesUsesTheFirst();
    void droppingAFolderOpensNothing();
    void droppingTextOpensNothing();
    void droppingAVanishedFileOpensNothing();
    void patternFromFileName_data();
    void patternFromFileName();

    void restoreListsMatchingNamesCaseSensitively();
    void restoreListShowsNoneWithoutMatches();
    void restoreFolderFollowsTheSettings();
    void reopeningRebuildsWithoutDuplicates();
    void anAmpersandShowsAsItselfAndRestoresThatFile();
    void answeringNoRestoresNothing();
    void restoreUsesItsOwnSwitches_data();
    void restoreUsesItsOwnSwitches();
    void restoreReextractsAKeptArchiveAndLeavesItThere();

private:
    frmMain &openMain(const QList<QStringList> &rows);
    EditorSeen dropAndAnswer(frmMain &form, QMimeData *data, const std::function<void(frmItem &)> &act);
    QString work(const QString &relative) const { return m_work->filePath(relative); }
    // A main window with one row, pattern foo*.lzh, target folder target/.
    frmMain &openWithFooItem();

    QTemporaryDir m_config;
    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<test::RecordingShell> m_shell;
};

void tst_frmMainDropRestore::initTestCase()
{
    QVERIFY(test::isolateSettings(m_config));
    QVERIFY(test::itemListIsPrivate());
}

void tst_frmMainDropRestore::init()
{
    core::DeleteSettingsKey();
    // No result window: an extraction returns straight to the test.
    core::writeYesNo(core::setting(u"NoLog"), true);
    removeItemFile();
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(m_work->isValid());
    m_shell = std::make_unique<test::RecordingShell>();
    core::gblnAddMode = false;
    core::gblnAddFromArchive = false;
}

void tst_frmMainDropRestore::cleanup()
{
    test::unloadForms<frmItem, frmMain>();
    core::CurrentItem.reset();
    core::gblnAddMode = false;
    arc::ArchiverRegistry::restoreBuiltIns();
    removeItemFile();
    m_shell.reset();
    m_work.reset();
}

frmMain &tst_frmMainDropRestore::openMain(const QList<QStringList> &rows)
{
    writeItems(rows);
    frmMain &form = platform::formInstance<frmMain>();
    form.Show();
    settle();
    return form;
}

frmMain &tst_frmMainDropRestore::openWithFooItem()
{
    [&] { QVERIFY(QDir().mkpath(work(QStringLiteral("target")))); }();
    frmMain &form = openMain(
        { { QStringLiteral("Foo"), QStringLiteral("foo*.lzh"), work(QStringLiteral("target/")), QString() } });
    form.selectRow(0);
    return form;
}

EditorSeen tst_frmMainDropRestore::dropAndAnswer(
    frmMain &form, QMimeData *data, const std::function<void(frmItem &)> &act)
{
    EditorSeen seen;
    std::unique_ptr<QMimeData> owned(data);
    // Looks for the editor once the events of the drop are through; posted
    // before and after the drop, so it finds an editor opened in the drop
    // itself as well as one opened just after it.
    bool handled = false;
    int looks = 0;
    std::function<void()> probe = [&] {
        auto *editor = qobject_cast<frmItem *>(QApplication::activeModalWidget());
        if (handled)
            return;
        if (!editor) {
            // The drop opens the editor from a posted call: look again a few
            // times before concluding that nothing opened.
            if (++looks < 20)
                QTimer::singleShot(0, this, probe);
            return;
        }
        handled = true;
        ++seen.openings;
        seen.caption = editor->windowTitle();
        seen.texts = { editor->txtName->text(), editor->txtPattern->text(), editor->txtFolder->text(),
            editor->txtRelation->text() };
        seen.relationEnabled = editor->cmdRelation->isEnabled();
        seen.addMode = core::gblnAddMode;
        act(*editor);
        if (platform::formIsLoaded<frmItem>())
            platform::formInstance<frmItem>().Unload();
    };
    QTimer::singleShot(0, this, probe);
    // As in a real drag, the data enters the list before it is dropped; the
    // drop goes to the widget that took the drag in.
    QDragEnterEvent enter(QPoint(12, 12), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form.lvwMain->viewport(), &enter);
    QDropEvent drop(QPointF(12, 12), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form.lvwMain->viewport(), &drop);
    QTimer::singleShot(0, this, probe);
    for (int round = 0; round < 200 && !handled && looks < 20; ++round)
        settle();
    settle();
    return seen;
}

void tst_frmMainDropRestore::theListTakesDropsOfFilesOnly()
{
    frmMain &form = openMain({});
    QVERIFY(form.lvwMain->viewport()->acceptDrops());
    test::writeFile(work(QStringLiteral("dl/unzip540.zip")), "zip");
    std::unique_ptr<QMimeData> files(fileList({ work(QStringLiteral("dl/unzip540.zip")) }));
    QCOMPARE(offeredEffect(form, files.get()), Qt::CopyAction);
    std::unique_ptr<QMimeData> words(text(QStringLiteral("unzip540.zip")));
    QCOMPARE(offeredEffect(form, words.get()), Qt::IgnoreAction);
    std::unique_ptr<QMimeData> remote(new QMimeData);
    remote->setUrls({ QUrl(QStringLiteral("https://example.org/unzip540.zip")) });
    QCOMPARE(offeredEffect(form, remote.get()), Qt::IgnoreAction);
}

void tst_frmMainDropRestore::droppingAFileOpensTheEditorWithAPattern()
{
    const QString folder = work(QStringLiteral("Tools/"));
    QVERIFY(QDir().mkpath(folder));
    core::writeText(core::setting(u"DefaultItemFolder"), folder);
    const QString archive = work(QStringLiteral("dl/unzip540.zip"));
    test::writeFile(archive, "zip");
    frmMain &form = openMain({ { QStringLiteral("A"), QStringLiteral("a*.zip"), folder, QString() } });

    const EditorSeen seen = dropAndAnswer(form, fileList({ archive }), [](frmItem &editor) {
        editor.txtName->setText(QStringLiteral("UnZip"));
        QTest::mouseClick(editor.cmdOK, Qt::LeftButton);
    });
    QCOMPARE(seen.openings, 1);
    QCOMPARE(seen.caption, kAddCaption);
    QCOMPARE(seen.texts, QStringList({ QString(), QStringLiteral("unzip*.zip"), folder, QString() }));
    QVERIFY(!seen.relationEnabled);
    QVERIFY(seen.addMode);
    // Confirmed: a new row at the end, nothing extracted.
    QCOMPARE(rowsOf(form),
        QList<QStringList>({ { QStringLiteral("A"), QStringLiteral("a*.zip"), folder, QString() },
            { QStringLiteral("UnZip"), QStringLiteral("unzip*.zip"), folder, QString() } }));
    QVERIFY(!core::gblnAddMode);
    QVERIFY(QFileInfo::exists(archive));
}

void tst_frmMainDropRestore::droppingTwoFilesUsesTheFirst()
{
    test::writeFile(work(QStringLiteral("a.lzh")), "lzh");
    test::writeFile(work(QStringLiteral("b.zip")), "zip");
    frmMain &form = openMain({});
    const EditorSeen seen
        = dropAndAnswer(form, fileList({ work(QStringLiteral("a.lzh")), work(QStringLiteral("b.zip")) }),
            [](frmItem &editor) { QTest::mouseClick(editor.cmdCancel, Qt::LeftButton); });
    QCOMPARE(seen.openings, 1);
    QCOMPARE(seen.texts.value(1), QStringLiteral("a*.lzh"));
    // The default item folder is not set: the editor starts without one.
    QCOMPARE(seen.texts.value(2), QString());
    // Cancelled: nothing added, the add mode is over.
    QCOMPARE(form.lvwMain->rowCount(), 0);
    QVERIFY(!core::gblnAddMode);
}

void tst_frmMainDropRestore::droppingAFolderOpensNothing()
{
    QVERIFY(QDir().mkpath(work(QStringLiteral("unzip540"))));
    frmMain &form = openMain({});
    const EditorSeen seen = dropAndAnswer(form, fileList({ work(QStringLiteral("unzip540")) }), [](frmItem &) {});
    QCOMPARE(seen.openings, 0);
    QVERIFY(!core::gblnAddMode);
    QVERIFY(m_shell->calls.isEmpty());
}

void tst_frmMainDropRestore::droppingTextOpensNothing()
{
    test::writeFile(work(QStringLiteral("unzip540.zip")), "zip");
    frmMain &form = openMain({});
    // The text names an existing file, and still is no file list.
    const EditorSeen seen = dropAndAnswer(form, text(work(QStringLiteral("unzip540.zip"))), [](frmItem &) {});
    QCOMPARE(seen.openings, 0);
    QVERIFY(!core::gblnAddMode);
}

void tst_frmMainDropRestore::droppingAVanishedFileOpensNothing()
{
    frmMain &form = openMain({});
    const EditorSeen seen = dropAndAnswer(form, fileList({ work(QStringLiteral("gone540.zip")) }), [](frmItem &) {});
    QCOMPARE(seen.openings, 0);
    QVERIFY(m_shell->calls.isEmpty());
}

void tst_frmMainDropRestore::patternFromFileName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("pattern");
    const QString d = QStringLiteral("/down/");
    QTest::newRow("digits before the extension become a star")
        << d + QStringLiteral("unzip540.zip") << QStringLiteral("unzip*.zip");
    QTest::newRow("a letter after the digits keeps them")
        << d + QStringLiteral("lha255b.lzh") << QStringLiteral("lha255b*.lzh");
    QTest::newRow("digits after an inner dot go")
        << d + QStringLiteral("Tool-1.2.3.CAB") << QStringLiteral("Tool-1.2.*.CAB");
    QTest::newRow("a name of digits alone stays") << d + QStringLiteral("2003.zip") << QStringLiteral("2003*.zip");
    QTest::newRow("a name without extension ends with the star")
        << d + QStringLiteral("README") << QStringLiteral("README*");
    QTest::newRow("an extension alone gives star and extension")
        << d + QStringLiteral(".lzh") << QStringLiteral("*.lzh");
    QTest::newRow("only the last dot starts the extension")
        << d + QStringLiteral("setup.tar.lzh") << QStringLiteral("setup.tar*.lzh");
    QTest::newRow("a compressed tar's version goes before both extensions")
        << d + QStringLiteral("foo-1.2.tar.xz") << QStringLiteral("foo-*.tar.xz");
    QTest::newRow("a tar.zst in upper case")
        << d + QStringLiteral("Tool_20.TAR.ZST") << QStringLiteral("Tool_*.TAR.ZST");
    QTest::newRow("a 7z keeps its inner dots as other single extensions do")
        << d + QStringLiteral("foo-1.2.7z") << QStringLiteral("foo-1.*.7z");
    QTest::newRow("a bare name without folder") << QStringLiteral("unzip540.zip") << QStringLiteral("unzip*.zip");
    QTest::newRow("digits in a folder name play no part")
        << QStringLiteral("/down/v2/tool10") << QStringLiteral("tool*");
}

void tst_frmMainDropRestore::patternFromFileName()
{
    QFETCH(QString, path);
    QFETCH(QString, pattern);
    QCOMPARE(frmMain::PatternFromFileName(path), pattern);
}

void tst_frmMainDropRestore::restoreListsMatchingNamesCaseSensitively()
{
    const QString keep = work(QStringLiteral("keep/"));
    for (const char *name : { "foo100.lzh", "bar.lzh", "FOO102.LZH", "foo101.lzh" })
        test::writeFile(keep + QLatin1String(name), "kept");
    core::writeYesNo(core::setting(u"ArchiveOperationTargetFolder"), false);
    core::writeText(core::setting(u"ArchiveOperationFolder"), keep);
    frmMain &form = openWithFooItem();
    const QStringList expected
        = directoryOrder(keep, [](const QString &n) { return n == u"foo100.lzh" || n == u"foo101.lzh"; });
    QCOMPARE(expected.size(), 2);

    Q_EMIT form.mnuItem->aboutToShow();
    QCOMPARE(shownEntries(form.mnuItemRestore), expected);
    const QList<QAction *> entries = form.mnuItemRestore->actions();
    QCOMPARE(entries.size(), 3);
    QCOMPARE(entries.at(0)->text(), kNone);
    QVERIFY(!entries.at(0)->isEnabled());
    QVERIFY(entries.at(1)->isEnabled() && entries.at(2)->isEnabled());

    Q_EMIT form.mnuPopup->aboutToShow();
    QCOMPARE(shownEntries(form.mnuPopupRestore), expected);
}

void tst_frmMainDropRestore::restoreListShowsNoneWithoutMatches()
{
    const QString keep = work(QStringLiteral("keep/"));
    test::writeFile(keep + QStringLiteral("bar.lzh"), "kept");
    test::writeFile(keep + QStringLiteral("FOO100.lzh"), "kept");
    core::writeYesNo(core::setting(u"ArchiveOperationTargetFolder"), false);
    core::writeText(core::setting(u"ArchiveOperationFolder"), keep);
    frmMain &form = openWithFooItem();
    for (QMenu *list : { form.mnuItemRestore, form.mnuPopupRestore }) {
        Q_EMIT(list == form.mnuItemRestore ? form.mnuItem : form.mnuPopup)->aboutToShow();
        QCOMPARE(shownEntries(list), QStringList{ kNone });
        QVERIFY(!list->actions().constFirst()->isEnabled());
    }
    // A keeping folder that does not exist reads as empty.
    core::writeText(core::setting(u"ArchiveOperationFolder"), work(QStringLiteral("nowhere/")));
    Q_EMIT form.mnuItem->aboutToShow();
    QCOMPARE(shownEntries(form.mnuItemRestore), QStringList{ kNone });
}

void tst_frmMainDropRestore::restoreFolderFollowsTheSettings()
{
    const QString keep = work(QStringLiteral("keep/"));
    test::writeFile(keep + QStringLiteral("foo1.lzh"), "kept");
    frmMain &form = openWithFooItem();
    test::writeFile(work(QStringLiteral("target/foo2.lzh")), "kept");

    // The default: the item's own folder, whatever the keeping folder holds.
    core::writeText(core::setting(u"ArchiveOperationFolder"), keep);
    QCOMPARE(form.RestoreFolder(), work(QStringLiteral("target/")));
    Q_EMIT form.mnuItem->aboutToShow();
    QCOMPARE(shownEntries(form.mnuItemRestore), QStringList{ QStringLiteral("foo2.lzh") });

    core::writeYesNo(core::setting(u"ArchiveOperationTargetFolder"), false);
    QCOMPARE(form.RestoreFolder(), keep);
    Q_EMIT form.mnuItem->aboutToShow();
    QCOMPARE(shownEntries(form.mnuItemRestore), QStringList{ QStringLiteral("foo1.lzh") });

    // Without a keeping folder, the item's own folder again.
    core::writeText(core::setting(u"ArchiveOperationFolder"), QString());
    QCOMPARE(form.RestoreFolder(), work(QStringLiteral("target/")));
    Q_EMIT form.mnuPopup->aboutToShow();
    QCOMPARE(shownEntries(form.mnuPopupRestore), QStringList{ QStringLiteral("foo2.lzh") });
}

void tst_frmMainDropRestore::reopeningRebuildsWithoutDuplicates()
{
    frmMain &form = openWithFooItem();
    test::writeFile(work(QStringLiteral("target/foo1.lzh")), "kept");
    Q_EMIT form.mnuItem->aboutToShow();
    Q_EMIT form.mnuItem->aboutToShow();
    QCOMPARE(shownEntries(form.mnuItemRestore), QStringList{ QStringLiteral("foo1.lzh") });
    QCOMPARE(form.mnuItemRestore->actions().size(), 2);

    // The folder is read again at every opening.
    QVERIFY(QFile::remove(work(QStringLiteral("target/foo1.lzh"))));
    Q_EMIT form.mnuItem->aboutToShow();
    QCOMPARE(shownEntries(form.mnuItemRestore), QStringList{ kNone });
    QCOMPARE(form.mnuItemRestore->actions().size(), 1);
}

void tst_frmMainDropRestore::anAmpersandShowsAsItselfAndRestoresThatFile()
{
    frmMain &form = openWithFooItem();
    const QString archive = work(QStringLiteral("target/foo&bar1.lzh"));
    test::writeFile(archive, "kept");
    auto library = std::make_shared<test::FakeArchiver>();
    library->accepts = { archive };
    arc::ArchiverRegistry::install(QString::fromLatin1(arc::kUnlhaLibrary), library);

    Q_EMIT form.mnuPopup->aboutToShow();
    const QList<QAction *> entries = form.mnuPopupRestore->actions();
    QCOMPARE(entries.size(), 2);
    // Doubled in the menu text, which shows one "&" and no accelerator.
    QCOMPARE(entries.at(1)->text(), QStringLiteral("foo&&bar1.lzh"));
    QCOMPARE(entries.at(1)->iconText(), QStringLiteral("foo&bar1.lzh"));

    m_shell->answers = { platform::vbYes };
    entries.at(1)->trigger();
    QCOMPARE(m_shell->callsOf(QStringLiteral("messageBox")),
        QStringList{
            messageBoxCall(QStringLiteral("foo&bar1.lzh") + kAsk, kRestoreQuestion, QStringLiteral("Pellora")) });
    QCOMPARE(library->commands.size(), 1);
    QVERIFY2(library->commands.at(0).contains(u'"' + archive + u'"'), qPrintable(library->commands.at(0)));
}

void tst_frmMainDropRestore::answeringNoRestoresNothing()
{
    frmMain &form = openWithFooItem();
    const QString archive = work(QStringLiteral("target/foo100.lzh"));
    test::writeFile(archive, "kept");
    auto library = std::make_shared<test::FakeArchiver>();
    library->accepts = { archive };
    arc::ArchiverRegistry::install(QString::fromLatin1(arc::kUnlhaLibrary), library);

    Q_EMIT form.mnuItem->aboutToShow();
    m_shell->answers = { platform::vbNo };
    form.mnuItemRestore->actions().at(1)->trigger();
    QCOMPARE(m_shell->calls,
        QStringList{
            messageBoxCall(QStringLiteral("foo100.lzh") + kAsk, kRestoreQuestion, QStringLiteral("Pellora")) });
    QVERIFY(library->commands.isEmpty());
    QVERIFY(!core::CurrentItem);
}

void tst_frmMainDropRestore::restoreUsesItsOwnSwitches_data()
{
    QTest::addColumn<QString>("library");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("storedName");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("switches");
    QTest::addColumn<QString>("encoding"); // the item's name options: this encoding and the top folder taken off
    QTest::newRow("LZH ignores the stored -n -jc")
        << QString::fromLatin1(arc::kUnlhaLibrary) << QStringLiteral("foo1.lzh") << QStringLiteral("UnlhaCommandLine")
        << QStringLiteral(" -n -jc") << QStringLiteral("x -a1 -jp1 -c") << QString();
    QTest::newRow("ZIP ignores the stored -n")
        << QString::fromLatin1(arc::kUnzipLibrary) << QStringLiteral("foo1.zip") << QStringLiteral("UnzipCommandLine")
        << QStringLiteral(" -n") << QStringLiteral("-x -i -o") << QString();
    QTest::newRow("CAB ignores the stored -i")
        << QString::fromLatin1(arc::kCabLibrary) << QStringLiteral("foo1.cab") << QStringLiteral("CabCommandLine")
        << QStringLiteral(" -i") << QStringLiteral("-x -k -n") << QString();
    QTest::newRow("the item's name options come along")
        << QString::fromLatin1(arc::kUnzipLibrary) << QStringLiteral("foo1.zip") << QStringLiteral("UnzipCommandLine")
        << QString() << QStringLiteral("-x -i -o --strip-top --names=GBK") << QStringLiteral("GBK");
}

void tst_frmMainDropRestore::restoreUsesItsOwnSwitches()
{
    QFETCH(QString, library);
    QFETCH(QString, name);
    QFETCH(QString, storedName);
    QFETCH(QString, stored);
    QFETCH(QString, switches);
    QFETCH(QString, encoding);
    core::WriteSetting(storedName, core::kRegSz, stored);
    const QString keep = work(QStringLiteral("keep/"));
    const QString archive = keep + name;
    test::writeFile(archive, "kept");
    core::writeYesNo(core::setting(u"ArchiveOperationTargetFolder"), false);
    core::writeText(core::setting(u"ArchiveOperationFolder"), keep);
    // Moving after extraction: the archive is already where it would go.
    core::writeNumber(core::setting(u"ArchiveOperation"), 2);
    QVERIFY(QDir().mkpath(work(QStringLiteral("target"))));
    frmMain &form
        = openMain({ { QStringLiteral("Foo"), QStringLiteral("foo*"), work(QStringLiteral("target/")), QString() } });
    form.selectRow(0);
    if (!encoding.isEmpty()) {
        core::ItemOptions options;
        options.nameEncoding = encoding;
        options.stripTopFolder = true;
        form.setRowTexts(0, form.rowTexts(0), options);
    }
    auto fake = std::make_shared<test::FakeArchiver>();
    fake->accepts = { archive };
    arc::ArchiverRegistry::install(library, fake);

    Q_EMIT form.mnuItem->aboutToShow();
    QCOMPARE(shownEntries(form.mnuItemRestore), QStringList{ name });
    m_shell->answers = { platform::vbYes };
    form.mnuItemRestore->actions().at(1)->trigger();
    QCOMPARE(fake->commands,
        QStringList{
            QStringLiteral("%1 \"%2\" \"%3\" \"*.*\"").arg(switches, archive, work(QStringLiteral("target/"))) });
    // Only the question: no report, no file operation, no filer.
    QCOMPARE(m_shell->calls.size(), 1);
    QVERIFY(QFileInfo::exists(archive));
    QVERIFY(!core::CurrentItem);
}

void tst_frmMainDropRestore::restoreReextractsAKeptArchiveAndLeavesItThere()
{
    QJsonObject fixture;
    for (const QJsonValue &v : test::fixtureManifest()) {
        if (v.toObject().value(QStringLiteral("file")).toString() == u"lzh/lh5.lzh")
            fixture = v.toObject();
    }
    QVERIFY(!fixture.isEmpty());
    const QString keep = work(QStringLiteral("keep/"));
    QVERIFY(QDir().mkpath(keep));
    const QString archive = keep + QStringLiteral("foo255.lzh");
    QVERIFY(QFile::copy(test::dataPath(QStringLiteral("lzh/lh5.lzh")), archive));
    QFile original(archive);
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QByteArray bytes = original.readAll();
    original.close();
    core::writeYesNo(core::setting(u"ArchiveOperationTargetFolder"), false);
    core::writeText(core::setting(u"ArchiveOperationFolder"), keep);
    core::writeNumber(core::setting(u"ArchiveOperation"), 2);
    // Switches that the restore must not use.
    core::writeText(core::setting(u"UnlhaCommandLine"), QStringLiteral(" -n -jc"));
    frmMain &form = openWithFooItem();

    Q_EMIT form.mnuItem->aboutToShow();
    QCOMPARE(shownEntries(form.mnuItemRestore), QStringList{ QStringLiteral("foo255.lzh") });
    m_shell->answers = { platform::vbYes };
    form.mnuItemRestore->actions().at(1)->trigger();

    QMap<QString, QString> expected;
    const QJsonObject files = fixture.value(QStringLiteral("files")).toObject();
    for (auto it = files.begin(); it != files.end(); ++it)
        expected.insert(it.key(), it.value().toString());
    QCOMPARE(test::fileHashes(work(QStringLiteral("target"))), expected);
    QCOMPARE(m_shell->calls.size(), 1);
    QVERIFY(QFileInfo::exists(archive));
    QFile after(archive);
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), bytes);
    QCOMPARE(QDir(keep).entryList(QDir::Files), QStringList{ QStringLiteral("foo255.lzh") });
}

QTEST_MAIN(tst_frmMainDropRestore)
#include "tst_frmMainDropRestore.moc"
