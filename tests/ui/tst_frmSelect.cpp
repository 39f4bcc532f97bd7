#include "core/ItemFile.h"
#include "core/clsItem.h"
#include "core/modRegistry.h"
#include "platform/archiver/ArchiverRegistry.h"
#include "platform/gui/Form.h"
#include "platform/gui/Twips.h"
#include "support/ArchiveWriter.h"
#include "support/FakeArchiver.h"
#include "support/Forms.h"
#include "support/GuiActions.h"
#include "support/ItemList.h"
#include "support/RecordingShell.h"
#include "support/TestSupport.h"
#include "ui/dialogs/frmItem.h"
#include "ui/main/frmMain.h"
#include "ui/select/SelectModel.h"
#include "ui/select/frmSelect.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScopeGuard>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace pellora;
using test::removeItemFile;
using test::settle;
using ui::frmItem;
using ui::frmMain;
using ui::frmSelect;
using ui::SelectModel;

namespace {

const QString kCaption = QStringLiteral("関連ファイルの選択");

enum class Situation { Editing, AddingFromMain, AddingFromArchive };

QStringList column(const frmSelect &w, int c)
{
    QStringList texts;
    const QAbstractItemModel *m = w.lvwSelect->model();
    for (int r = 0; r < m->rowCount(); ++r)
        texts.append(m->index(r, c).data().toString());
    return texts;
}

// Every row's relative path (folder followed by name), in list order.
QStringList paths(const frmSelect &w)
{
    QStringList texts;
    for (int r = 0; r < w.model()->rowCount(); ++r)
        texts.append(w.model()->row(r).relativePath());
    return texts;
}

int rowOf(const frmSelect &w, const QString &relativePath)
{
    return int(paths(w).indexOf(relativePath));
}

void clickRow(frmSelect &w, int row)
{
    QTest::mouseClick(w.lvwSelect->viewport(), Qt::LeftButton, {}, test::cellCenter(w.lvwSelect, row));
}

// Opens the selected row through the pop-up menu of a right-click on it.
void openThroughPopup(frmSelect &w, int row)
{
    QTest::mouseClick(w.lvwSelect->viewport(), Qt::RightButton, {}, test::cellCenter(w.lvwSelect, row));
    QVERIFY(w.mnuPopup->isVisible());
    w.mnuPopupOpen->trigger();
    w.mnuPopup->hide();
}

} // namespace

Q_DECLARE_METATYPE(Situation)

class tst_frmSelect : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void captionAndRowsFollowWhereTheEditorWasOpened_data();
    void captionAndRowsFollowWhereTheEditorWasOpened();
    void layoutFollowsTheFormAndTheListSettings_data();
    void layoutFollowsTheFormAndTheListSettings();
    void headerClicksSortSizesByValue_data();
    void headerClicksSortSizesByValue();
    void choosingWritesTheRelativePathIntoTheEditor_data();
    void choosingWritesTheRelativePathIntoTheEditor();
    void openingAFolderEntryKeepsTheWindowOpen_data();
    void openingAFolderEntryKeepsTheWindowOpen();
    void openingAnArchiveEntryExtractsOnlyItIntoAPrivateFolder();
    void closingRemovesThePrivateFolder_data();
    void closingRemovesThePrivateFolder();
    void aHelpFileBringsItsContentsFileAlong();
    void anEntryNamedOutsideTheArchiveIsNeitherOpenedNorChosen_data();
    void anEntryNamedOutsideTheArchiveIsNeitherOpenedNorChosen();
    void theEditorsButtonShowsTheChooserModally();

private:
    // Prepares the editor (and the main window) as the situation has them
    // and loads the chooser, which fills its list.
    frmSelect &openChooser(Situation situation);
    QString work(const QString &relative) const { return m_work->filePath(relative); }

    QTemporaryDir m_config;
    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<test::RecordingShell> m_shell;
    QString m_folder; // the item's folder, as typed: without its trailing slash
    QString m_archive;
};

void tst_frmSelect::initTestCase()
{
    QVERIFY(test::isolateSettings(m_config));
    QVERIFY(test::itemListIsPrivate());
}

void tst_frmSelect::init()
{
    core::DeleteSettingsKey();
    removeItemFile();
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(m_work->isValid());
    m_folder = work(QStringLiteral("Tools/MyTool"));
    test::writeFile(m_folder + QStringLiteral("/readme.txt"), "read me");
    test::writeFile(m_folder + QStringLiteral("/sub/read.txt"), QByteArray(999, 'r'));
    test::writeFile(m_folder + QStringLiteral("/sub/big.dat"), QByteArray(1000, 'b'));
    test::writeFile(m_folder + QStringLiteral("/empty.log"), QByteArray());
    m_archive = work(QStringLiteral("dl/Tool12.zip"));
    QVERIFY(QDir().mkpath(work(QStringLiteral("dl"))));
    QVERIFY(QFile::copy(test::dataPath(QStringLiteral("zip/stored.zip")), m_archive));
    m_shell = std::make_unique<test::RecordingShell>();
    core::gblnAddMode = false;
    core::gblnAddFromArchive = false;
}

void tst_frmSelect::cleanup()
{
    for (QWidget *popup = QApplication::activePopupWidget(); popup; popup = QApplication::activePopupWidget())
        popup->close();
    test::unloadForms<frmSelect, frmItem, frmMain>();
    core::CurrentItem.reset();
    core::gblnAddMode = false;
    core::gblnAddFromArchive = false;
    arc::ArchiverRegistry::restoreBuiltIns();
    removeItemFile();
    m_shell.reset();
    m_work.reset();
}

frmSelect &tst_frmSelect::openChooser(Situation situation)
{
    if (situation == Situation::AddingFromArchive) {
        // The unmatched-archive road: the main window is never shown.
        core::CurrentItem = std::make_shared<core::clsItem>(QStringList{ m_archive });
        core::gblnAddMode = true;
        core::gblnAddFromArchive = true;
    } else {
        core::ItemFile(core::itemFilePath())
            .write({ { QStringLiteral("Other"), QStringLiteral("o*.zip"), QStringLiteral("/o/"), QString() },
                { QStringLiteral("MyTool"), QStringLiteral("my*.zip"), m_folder + u'/', QString() } });
        frmMain &main = platform::formInstance<frmMain>();
        main.Show();
        main.selectRow(1);
        core::gblnAddMode = situation == Situation::AddingFromMain;
    }
    frmItem &editor = platform::formInstance<frmItem>();
    editor.txtFolder->setText(m_folder);
    editor.txtRelation->setText(QStringLiteral("before.txt"));
    frmSelect &chooser = platform::formInstance<frmSelect>();
    chooser.Show(platform::vbModeless);
    settle();
    return chooser;
}

void tst_frmSelect::captionAndRowsFollowWhereTheEditorWasOpened_data()
{
    QTest::addColumn<Situation>("situation");
    QTest::addColumn<QString>("caption"); // "@" stands for the item's folder
    QTest::addColumn<QStringList>("rows");
    const QStringList folderRows = { QStringLiteral("empty.log"), QStringLiteral("readme.txt"),
        QStringLiteral("sub/big.dat"), QStringLiteral("sub/read.txt") };
    QTest::newRow("editing an item lists its folder and names the item and the folder")
        << Situation::Editing << kCaption + QStringLiteral(" - MyTool / @") << folderRows;
    QTest::newRow("adding an item from the main window lists the typed folder under the plain caption")
        << Situation::AddingFromMain << kCaption << folderRows;
    QTest::newRow("adding an item for the archive at hand lists the archive and names it")
        << Situation::AddingFromArchive << kCaption + QStringLiteral(" - Tool12.zip")
        << QStringList{ QStringLiteral("deep/a/b/c.txt"), QStringLiteral("doc/data.bin"),
               QStringLiteral("doc/manual.txt"), QStringLiteral("empty.txt"), QStringLiteral("readme.txt") };
}

void tst_frmSelect::captionAndRowsFollowWhereTheEditorWasOpened()
{
    QFETCH(Situation, situation);
    QFETCH(QString, caption);
    QFETCH(QStringList, rows);
    frmSelect &w = openChooser(situation);
    QCOMPARE(w.windowTitle(), caption.replace(u'@', m_folder));
    QStringList listed = paths(w);
    listed.sort();
    QCOMPARE(listed, rows);
    QCOMPARE(w.staSelect->currentMessage(), QString::number(rows.size()) + QStringLiteral("個のアイテム"));
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void tst_frmSelect::layoutFollowsTheFormAndTheListSettings_data()
{
    QTest::addColumn<bool>("fullRow");
    QTest::addColumn<bool>("grid");
    QTest::newRow("cells selected alone and no grid lines by default") << false << false;
    QTest::newRow("full-row selection and grid lines when the settings say so") << true << true;
}

void tst_frmSelect::layoutFollowsTheFormAndTheListSettings()
{
    QFETCH(bool, fullRow);
    QFETCH(bool, grid);
    core::writeYesNo(core::setting(u"ListFullRowSelect"), fullRow);
    core::writeYesNo(core::setting(u"ListGridLines"), grid);
    frmSelect &w = openChooser(Situation::Editing);

    QCOMPARE(
        w.lvwSelect->selectionBehavior(), fullRow ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
    QCOMPARE(w.lvwSelect->showGrid(), grid);
    const QAbstractItemModel *m = w.lvwSelect->model();
    const QStringList captions = { QStringLiteral("名前"), QStringLiteral("サイズ"), QStringLiteral("ファイルの種類"),
        QStringLiteral("パス") };
    const int widths[] = { 3528, 1676, 4304, 2540 };
    for (int c = 0; c < 4; ++c) {
        QCOMPARE(m->headerData(c, Qt::Horizontal).toString(), captions.at(c));
        QCOMPARE(w.lvwSelect->columnWidth(c), platform::twips(widths[c]));
        const auto align = Qt::Alignment(m->index(0, c).data(Qt::TextAlignmentRole).toInt());
        QCOMPARE(bool(align & Qt::AlignRight), c == SelectModel::kSizeColumn);
    }
    // The list fills the window down to the status bar, also after a resize.
    QCOMPARE(w.size(), QSize(platform::twips(7095), platform::twips(2580)));
    w.resize(500, 300);
    settle();
    QCOMPARE(w.lvwSelect->geometry(), QRect(0, 0, 500, w.staSelect->y()));
    QCOMPARE(w.staSelect->geometry().bottom(), 299);
    w.resize(500, 5);
    settle();
    QCOMPARE(w.lvwSelect->height(), 0);
    QVERIFY(!(w.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
}

void tst_frmSelect::headerClicksSortSizesByValue_data()
{
    QTest::addColumn<QList<int>>("clicks"); // header sections, 0-based
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("sizes");
    QTest::newRow("a first click on the size sorts ascending: empty, 999, 1,000, then beyond 4 GiB")
        << QList<int>{ 1 }
        << QStringList{ QStringLiteral("empty.log"), QStringLiteral("read.txt"), QStringLiteral("big.dat"),
               QStringLiteral("disc.iso") }
        << QStringList{ QString(), QStringLiteral("999"), QStringLiteral("1,000"), QStringLiteral("4,294,967,296") };
    QTest::newRow("a second click on the size sorts descending")
        << QList<int>{ 1, 1 }
        << QStringList{ QStringLiteral("disc.iso"), QStringLiteral("big.dat"), QStringLiteral("read.txt"),
               QStringLiteral("empty.log") }
        << QStringList{ QStringLiteral("4,294,967,296"), QStringLiteral("1,000"), QStringLiteral("999"), QString() };
    QTest::newRow("the first click on the name sorts descending, the key being the name already")
        << QList<int>{ 0 }
        << QStringList{ QStringLiteral("read.txt"), QStringLiteral("empty.log"), QStringLiteral("disc.iso"),
               QStringLiteral("big.dat") }
        << QStringList{ QStringLiteral("999"), QString(), QStringLiteral("4,294,967,296"), QStringLiteral("1,000") };
    QTest::newRow("another column keeps the direction")
        << QList<int>{ 1, 1, 0 }
        << QStringList{ QStringLiteral("read.txt"), QStringLiteral("empty.log"), QStringLiteral("disc.iso"),
               QStringLiteral("big.dat") }
        << QStringList{ QStringLiteral("999"), QString(), QStringLiteral("4,294,967,296"), QStringLiteral("1,000") };
}

void tst_frmSelect::headerClicksSortSizesByValue()
{
    QFETCH(QList<int>, clicks);
    QFile::remove(m_folder + QStringLiteral("/readme.txt"));
    QFile big(m_folder + QStringLiteral("/disc.iso"));
    QVERIFY(big.open(QIODevice::WriteOnly));
    if (!big.resize(qint64(4294967296LL)))
        QSKIP("the file system cannot hold a 4 GiB sparse file");
    big.close();
    frmSelect &w = openChooser(Situation::Editing);
    // The row picked before sorting stays picked.
    const int picked = rowOf(w, QStringLiteral("sub/read.txt"));
    clickRow(w, picked);

    for (int section : clicks)
        test::clickHeader(w.lvwSelect->horizontalHeader(), section);

    QTEST(column(w, SelectModel::kNameColumn), "names");
    QTEST(column(w, SelectModel::kSizeColumn), "sizes");
    QTest::keyClick(w.lvwSelect, Qt::Key_Return);
    QCOMPARE(platform::formInstance<frmItem>().txtRelation->text(), QStringLiteral("sub/read.txt"));
}

using Gesture = std::function<void(frmSelect &, int row)>;
Q_DECLARE_METATYPE(Gesture)

void tst_frmSelect::choosingWritesTheRelativePathIntoTheEditor_data()
{
    QTest::addColumn<Gesture>("gesture");
    QTest::addColumn<bool>("chosen");
    QTest::addColumn<bool>("open"); // the window stays open

    QTest::newRow("a double-click on a row chooses it") << Gesture([](frmSelect &w, int row) {
        test::doubleClick(w.lvwSelect->viewport(), test::cellCenter(w.lvwSelect, row));
    }) << true << false;
    QTest::newRow("Enter chooses the selected row") << Gesture([](frmSelect &w, int row) {
        clickRow(w, row);
        QTest::keyClick(w.lvwSelect, Qt::Key_Return);
    }) << true << false;
    QTest::newRow("the bold default entry of the right-click menu chooses the row") << Gesture(
        [](frmSelect &w, int row) {
            QTest::mouseClick(w.lvwSelect->viewport(), Qt::RightButton, {}, test::cellCenter(w.lvwSelect, row));
            QVERIFY(w.mnuPopup->isVisible());
            QCOMPARE(w.mnuPopup->actions(), (QList<QAction *>{ w.mnuPopupSelect, w.mnuPopupOpen }));
            QCOMPARE(w.mnuPopupSelect->text(), QStringLiteral("選択(&S)"));
            QCOMPARE(w.mnuPopupOpen->text(), QStringLiteral("開く(&O)"));
            QCOMPARE(w.mnuPopup->defaultAction(), w.mnuPopupSelect);
            QVERIFY(w.mnuPopupSelect->font().bold());
            w.mnuPopupSelect->trigger();
            w.mnuPopup->hide();
        }) << true << false;
    QTest::newRow("a double-click after the pointer moved since the row click does nothing") << Gesture(
        [](frmSelect &w, int row) {
            clickRow(w, row);
            const QPoint moved = test::cellCenter(w.lvwSelect, row) + QPoint(3, 1);
            test::moveOver(w.lvwSelect->viewport(), moved);
            QTest::mouseDClick(w.lvwSelect->viewport(), Qt::LeftButton, {}, moved);
            QTest::mouseRelease(w.lvwSelect->viewport(), Qt::LeftButton, {}, moved);
        }) << false << true;
    QTest::newRow("Enter with no row selected does nothing")
        << Gesture([](frmSelect &w, int) { QTest::keyClick(w.lvwSelect, Qt::Key_Return); }) << false << true;
    QTest::newRow("Esc closes and leaves the box alone") << Gesture([](frmSelect &w, int row) {
        clickRow(w, row);
        QTest::keyClick(w.lvwSelect, Qt::Key_Escape);
    }) << false << false;
    QTest::newRow("the close box closes and leaves the box alone") << Gesture([](frmSelect &w, int row) {
        clickRow(w, row);
        w.close();
    }) << false << false;
}

void tst_frmSelect::choosingWritesTheRelativePathIntoTheEditor()
{
    QFETCH(Gesture, gesture);
    QFETCH(bool, chosen);
    QFETCH(bool, open);
    frmSelect &w = openChooser(Situation::Editing);
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const int row = rowOf(w, QStringLiteral("sub/read.txt"));
    QVERIFY(row >= 0);

    gesture(w, row);
    if (QTest::currentTestFailed())
        return;
    settle();

    QCOMPARE(platform::formIsLoaded<frmSelect>(), open);
    QCOMPARE(platform::formInstance<frmItem>().txtRelation->text(),
        chosen ? QStringLiteral("sub/read.txt") : QStringLiteral("before.txt"));
}

void tst_frmSelect::openingAFolderEntryKeepsTheWindowOpen_data()
{
    QTest::addColumn<int>("openResult");
    QTest::addColumn<QString>("viewer");
    QTest::addColumn<QStringList>("after"); // calls after the open; "@" stands for the file
    QTest::newRow("a file with an application opens in it") << platform::kShellExecuteOk << QString() << QStringList{};
    QTest::newRow("a file without one opens in the program's own viewer")
        << platform::kShellExecuteNoAssoc << QString() << QStringList{ QStringLiteral("viewer|@") };
    QTest::newRow("a configured viewer gets the path as one argument")
        << platform::kShellExecuteNoAssoc << QStringLiteral("less -R")
        << QStringList{ QStringLiteral("program|less|-R|@") };
}

void tst_frmSelect::openingAFolderEntryKeepsTheWindowOpen()
{
    QFETCH(int, openResult);
    QFETCH(QString, viewer);
    QFETCH(QStringList, after);
    if (!viewer.isEmpty())
        core::writeText(core::setting(u"DefaultFileViewer"), viewer);
    m_shell->openResult = openResult;
    frmSelect &w = openChooser(Situation::Editing);
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    openThroughPopup(w, rowOf(w, QStringLiteral("sub/read.txt")));
    settle();

    const QString file = m_folder + QStringLiteral("/sub/read.txt");
    QStringList wanted{ QStringLiteral("open|%1|%2").arg(file, m_folder) };
    for (const QString &call : after)
        wanted.append(QString(call).replace(u'@', file));
    QCOMPARE(m_shell->calls, wanted);
    QVERIFY(platform::formIsLoaded<frmSelect>());
    QCOMPARE(platform::formInstance<frmItem>().txtRelation->text(), QStringLiteral("before.txt"));
    QVERIFY(w.tempFolder().isEmpty());
}

void tst_frmSelect::openingAnArchiveEntryExtractsOnlyItIntoAPrivateFolder()
{
    frmSelect &w = openChooser(Situation::AddingFromArchive);
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const int row = rowOf(w, QStringLiteral("doc/manual.txt"));
    QVERIFY(row >= 0);

    openThroughPopup(w, row);
    settle();

    const QString temp = w.tempFolder();
    QVERIFY(temp.endsWith(u'/'));
    const QFileInfo folder(temp.chopped(1));
    QCOMPARE(folder.absolutePath(), QDir::tempPath());
    QVERIFY2(folder.fileName().startsWith(QStringLiteral("~meltmp")), qPrintable(folder.fileName()));
    QVERIFY(folder.isDir() && !folder.isSymLink());
    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(folder.filePath()).constData(), &st), 0);
    QCOMPARE(mode_t(st.st_mode & 0777), mode_t(0700));
    QCOMPARE(st.st_uid, ::getuid());
    QCOMPARE(test::fileHashes(temp).keys(), QStringList{ QStringLiteral("doc/manual.txt") });
    QCOMPARE(QFileInfo(temp + QStringLiteral("doc/manual.txt")).size(), qint64(40000));
    QCOMPARE(m_shell->calls, QStringList{ QStringLiteral("open|%1doc/manual.txt|%2").arg(temp, temp.chopped(1)) });

    // Opened again while the window is open: what is there is not extracted again.
    test::writeFile(temp + QStringLiteral("doc/manual.txt"), "kept");
    openThroughPopup(w, row);
    settle();
    QCOMPARE(w.tempFolder(), temp);
    QFile kept(temp + QStringLiteral("doc/manual.txt"));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("kept"));

    // Another entry goes into the same folder.
    openThroughPopup(w, rowOf(w, QStringLiteral("readme.txt")));
    settle();
    QCOMPARE(
        test::fileHashes(temp).keys(), (QStringList{ QStringLiteral("doc/manual.txt"), QStringLiteral("readme.txt") }));
    QVERIFY(platform::formIsLoaded<frmSelect>());
}

void tst_frmSelect::closingRemovesThePrivateFolder_data()
{
    QTest::addColumn<QString>("way");
    QTest::newRow("Esc removes it and leaves the related file alone") << QStringLiteral("esc");
    QTest::newRow("choosing a row removes it") << QStringLiteral("choose");
    QTest::newRow("closing the editor removes it with the chooser") << QStringLiteral("editor");
}

void tst_frmSelect::closingRemovesThePrivateFolder()
{
    QFETCH(QString, way);
    frmSelect &w = openChooser(Situation::AddingFromArchive);
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const int row = rowOf(w, QStringLiteral("deep/a/b/c.txt"));
    openThroughPopup(w, row);
    settle();
    const QString temp = w.tempFolder();
    QVERIFY(QFileInfo::exists(temp + QStringLiteral("deep/a/b/c.txt")));
    // Something the viewer left behind goes too; a link inside is removed,
    // not followed.
    test::writeFile(temp + QStringLiteral("deep/viewer.tmp"), "tmp");
    QVERIFY(QFile::link(m_folder, temp + QStringLiteral("deep/link")));
    const QString relation = platform::formInstance<frmItem>().txtRelation->text();

    if (way == u"esc") {
        QTest::keyClick(w.lvwSelect, Qt::Key_Escape);
        QCOMPARE(platform::formInstance<frmItem>().txtRelation->text(), relation);
    } else if (way == u"choose") {
        QTest::keyClick(w.lvwSelect, Qt::Key_Return);
        QCOMPARE(platform::formInstance<frmItem>().txtRelation->text(), QStringLiteral("deep/a/b/c.txt"));
    } else {
        platform::formInstance<frmItem>().Unload();
    }
    settle();

    QVERIFY(!platform::formIsLoaded<frmSelect>());
    QVERIFY(!QFileInfo::exists(temp.chopped(1)));
    QVERIFY(QFileInfo::exists(m_folder + QStringLiteral("/readme.txt")));
}

void tst_frmSelect::aHelpFileBringsItsContentsFileAlong()
{
    // A library that extracts nothing: what it is asked shows the rule.
    auto library = std::make_shared<test::FakeArchiver>();
    const QString archive = work(QStringLiteral("dl/Help.lzh"));
    test::writeFile(archive, "lzh");
    library->accepts = { archive };
    library->entries = { { 100, QByteArray("doc/help.hlp") } };
    arc::ArchiverRegistry::install(QString::fromLatin1(arc::kUnlhaLibrary), library);
    m_archive = archive;
    frmSelect &w = openChooser(Situation::AddingFromArchive);
    QCOMPARE(paths(w), QStringList{ QStringLiteral("doc/help.hlp") });
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    openThroughPopup(w, 0);
    const QString temp = w.tempFolder();
    QCOMPARE(library->commands.size(), 2);
    QVERIFY2(library->commands.at(0).endsWith(QStringLiteral("\"%1\" \"doc/help.hlp\"").arg(temp)),
        qPrintable(library->commands.at(0)));
    QVERIFY2(library->commands.at(1).endsWith(QStringLiteral("\"%1\" \"doc/help.cnt\"").arg(temp)),
        qPrintable(library->commands.at(1)));

    // Once the help file is there, only its contents file is asked for again.
    test::writeFile(temp + QStringLiteral("doc/help.hlp"), "help");
    openThroughPopup(w, 0);
    QCOMPARE(library->commands.size(), 3);
    QVERIFY(library->commands.at(2).endsWith(QStringLiteral("\"doc/help.cnt\"")));
    QCOMPARE(m_shell->callsOf(QStringLiteral("open")).size(), 2);
}

void tst_frmSelect::anEntryNamedOutsideTheArchiveIsNeitherOpenedNorChosen_data()
{
    QTest::addColumn<QByteArray>("entry"); // "@" stands for the temporary path
    QTest::addColumn<QString>("reason");
    QTest::newRow("a parent-folder name reaching a file of the user's beside the private folder")
        << QByteArray("../secret.txt") << QStringLiteral("解凍先フォルダの外を指しています");
    QTest::newRow("a name that climbs out after going into a folder")
        << QByteArray("sub/../../secret.txt") << QStringLiteral("解凍先フォルダの外を指しています");
    QTest::newRow("an absolute name of the user's file")
        << QByteArray("@/secret.txt") << QStringLiteral("絶対パスです");
}

void tst_frmSelect::anEntryNamedOutsideTheArchiveIsNeitherOpenedNorChosen()
{
    QFETCH(QByteArray, entry);
    QFETCH(QString, reason);
    // The private folder is made in a temporary path of the test's own, with
    // the user's file right beside it.
    const QString temp = work(QStringLiteral("tmp"));
    const QString secret = temp + QStringLiteral("/secret.txt");
    test::writeFile(secret, "the user's own");
    const QByteArray savedTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temp));
    const auto restoreTemp = qScopeGuard([&] {
        if (savedTemp.isNull())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", savedTemp);
    });
    const QByteArray name = QByteArray(entry).replace('@', QFile::encodeName(temp));
    m_archive = work(QStringLiteral("dl/evil.zip"));
    test::writeZip(m_archive, { { name, "from the archive" }, { "good.txt", "good" } });
    if (QTest::currentTestFailed())
        return;
    frmSelect &w = openChooser(Situation::AddingFromArchive);
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const int row = rowOf(w, QString::fromUtf8(name));
    QVERIFY(row >= 0);
    QCOMPARE(w.model()->row(row).name, QStringLiteral("secret.txt"));

    openThroughPopup(w, row);
    settle();
    QCOMPARE(m_shell->callsOf(QStringLiteral("open")), QStringList());
    QCOMPARE(m_shell->callsOf(QStringLiteral("messageBox")).size(), 1);
    QVERIFY2(m_shell->calls.first().contains(reason), qPrintable(m_shell->calls.first()));

    // Nor can it become the related file: the window says why and stays.
    clickRow(w, row);
    QTest::keyClick(w.lvwSelect, Qt::Key_Return);
    settle();
    QVERIFY(platform::formIsLoaded<frmSelect>());
    QCOMPARE(platform::formInstance<frmItem>().txtRelation->text(), QStringLiteral("before.txt"));
    QCOMPARE(m_shell->callsOf(QStringLiteral("messageBox")).size(), 2);

    // The user's file is as it was.
    QFile file(secret);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("the user's own"));
}

void tst_frmSelect::theEditorsButtonShowsTheChooserModally()
{
    core::ItemFile(core::itemFilePath())
        .write({ { QStringLiteral("MyTool"), QStringLiteral("my*.zip"), m_folder + u'/', QString() } });
    frmMain &main = platform::formInstance<frmMain>();
    main.Show();
    main.selectRow(0);
    frmItem &editor = platform::formInstance<frmItem>();
    editor.txtFolder->setText(m_folder + u'/');
    editor.cmdRelation->setEnabled(true);
    editor.Show(platform::vbModeless);
    settle();

    bool seen = false;
    QTimer::singleShot(0, this, [&] {
        auto *chooser = qobject_cast<frmSelect *>(QApplication::activeModalWidget());
        QVERIFY(chooser);
        seen = true;
        QCOMPARE(chooser->windowTitle(), kCaption + QStringLiteral(" - MyTool / ") + m_folder + u'/');
        const int row = rowOf(*chooser, QStringLiteral("sub/big.dat"));
        chooser->lvwSelect->setCurrentIndex(chooser->lvwSelect->model()->index(row, 0));
        QTest::keyClick(chooser->lvwSelect, Qt::Key_Return);
    });
    QTest::mouseClick(editor.cmdRelation, Qt::LeftButton);
    settle();

    QVERIFY(seen);
    QVERIFY(!platform::formIsLoaded<frmSelect>());
    QCOMPARE(editor.txtRelation->text(), QStringLiteral("sub/big.dat"));
}

QTEST_MAIN(tst_frmSelect)
#include "tst_frmSelect.moc"
