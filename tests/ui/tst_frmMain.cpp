#include "core/ItemFile.h"
#include "core/modRegistry.h"
#include "platform/Locale.h"
#include "platform/Paths.h"
#include "platform/gui/Form.h"
#include "platform/gui/Twips.h"
#include "support/GuiActions.h"
#include "support/ItemList.h"
#include "support/MainWindow.h"
#include "support/RecordingShell.h"
#include "support/TestSupport.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QScreen>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <cmath>
#include <memory>

using namespace pellora;
using core::ItemRecord;
using test::countText;
using test::letterRowWithRelatedFile;
using test::lettersRows;
using test::messageBoxCall;
using test::records;
using test::removeItemFile;
using test::rowsOf;
using test::settle;
using test::writeItems;
using ui::frmMain;

namespace {

// The texts the window shows around the values it puts in.
QString deleteQuestion(const QString &name)
{
    return u'\'' + name + QStringLiteral("' ") + QStringLiteral("を削除しますか?");
}
const QString kConfirmTitle = QStringLiteral("確認");

// A pixel length as the window stores it: whole twips.
int storedTwips(int pixels)
{
    return int(std::lround(platform::toTwips(pixels)));
}
// A length in twips after it went into pixels and back.
int roundTrip(int twips)
{
    return storedTwips(platform::twips(twips));
}

QVariant storedNumber(const QString &name)
{
    return core::ReadSetting(name, core::kRegDword, QVariant());
}

QStringList namesOf(const frmMain &form)
{
    QStringList names;
    for (int r = 0; r < form.lvwMain->rowCount(); ++r)
        names.append(form.rowTexts(r).at(0));
    return names;
}

QStringList storedNames()
{
    QStringList names;
    for (const ItemRecord &r : core::ItemFile(core::itemFilePath()).read().records)
        names.append(r.Title);
    return names;
}

QPoint rowCentre(const frmMain &form, int row)
{
    return form.lvwMain->visualItemRect(form.lvwMain->item(row, 0)).center();
}

QPoint emptySpace(const frmMain &form)
{
    return QPoint(10, form.lvwMain->viewport()->height() - 4);
}

void clickToolButton(frmMain &form, QAction *action)
{
    QWidget *button = form.tlbMain->widgetForAction(action);
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
}

void clickHeader(frmMain &form, int column)
{
    QHeaderView *header = form.lvwMain->horizontalHeader();
    const int x = header->sectionViewportPosition(column - 1) + header->sectionSize(column - 1) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
}

// The entries of a menu that are visible, in order; a separator reads "----".
QStringList visibleEntries(const QMenu *menu)
{
    QStringList entries;
    for (const QAction *a : menu->actions()) {
        if (a->isVisible())
            entries.append(a->isSeparator() ? QStringLiteral("----") : a->text());
    }
    return entries;
}

// Opens a menu of the menu bar the way a click on its title does (its
// aboutToShow runs), and leaves it open.
void openMenu(QMenu *menu)
{
    menu->popup(QPoint(0, 0));
    QVERIFY(menu->isVisible());
}

void clickMenuEntry(QMenu *menu, QAction *entry)
{
    QVERIFY(menu->isVisible());
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
    QVERIFY(!menu->isVisible());
}

struct PopupSeen {
    bool opened = false;
    QStringList entries;
    QStringList bold;
    QString defaultEntry;
    bool explorerEnabled = false;
};

// Releases the right button over the list. The pop-up it opens runs its own
// loop; a zero-delay timer reads it from inside that loop and closes it.
PopupSeen releaseRight(frmMain &form, const QPoint &position)
{
    PopupSeen seen;
    bool timerRan = false;
    QTimer::singleShot(0, &form, [&] {
        timerRan = true;
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        seen.opened = menu == form.mnuPopup;
        seen.entries = visibleEntries(menu);
        for (const QAction *a : menu->actions()) {
            if (a->isVisible() && !a->isSeparator() && a->font().bold())
                seen.bold.append(a->text());
        }
        seen.defaultEntry = menu->defaultAction() ? menu->defaultAction()->text() : QString();
        seen.explorerEnabled = form.mnuPopupExplorer->isEnabled();
        menu->close();
    });
    QTest::mouseRelease(form.lvwMain->viewport(), Qt::RightButton, {}, position);
    if (!timerRan)
        QCoreApplication::processEvents(); // no pop-up: let the timer find none
    return seen;
}

// Presses a key on the list and reports the title of any modal window it
// opened (closing it from inside its own loop), "" when none opened.
QString keyOpensModal(frmMain &form, Qt::Key key, Qt::KeyboardModifiers modifiers = {})
{
    QString title;
    bool timerRan = false;
    QTimer::singleShot(0, &form, [&] {
        timerRan = true;
        if (QWidget *modal = QApplication::activeModalWidget()) {
            title = modal->windowTitle();
            modal->close();
        }
    });
    QTest::keyClick(form.lvwMain, key, modifiers);
    if (!timerRan)
        QCoreApplication::processEvents();
    return title;
}

void moveMouse(frmMain &form, const QPoint &position)
{
    QWidget *viewport = form.lvwMain->viewport();
    QMouseEvent move(QEvent::MouseMove, position, viewport->mapToGlobal(position), Qt::NoButton,
        QGuiApplication::mouseButtons(), Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
}

} // namespace

class tst_frmMain : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void firstRunOpensWithTheDefaults();
    void loadAppliesTheSettingsAndListsTheItemsInFileOrder();
    void unloadStoresPlacementColumnsAndRows_data();
    void unloadStoresPlacementColumnsAndRows();
    void closingWhileMaximizedStoresTheNormalRectangle();
    void savedPositionIsKeptOnlyWhenOnAScreen_data();
    void savedPositionIsKeptOnlyWhenOnAScreen();
    void barTogglesKeepTheListBetweenTheBars_data();
    void barTogglesKeepTheListBetweenTheBars();
    void columnClicksSortTheRows_data();
    void columnClicksSortTheRows();
    void itemMenuOffersWhatTheSelectionAllows_data();
    void itemMenuOffersWhatTheSelectionAllows();
    void popupDependsOnWhereTheMouseWent_data();
    void popupDependsOnWhereTheMouseWent();
    void deleteItem_data();
    void deleteItem();
    void afterARemovalNoRowIsSelected_data();
    void afterARemovalNoRowIsSelected();
    void sortingPlacesAddedEditedAndMovedRows_data();
    void sortingPlacesAddedEditedAndMovedRows();
    void moveRow_data();
    void moveRow();
    void filerGetsTheFolderWithoutItsSeparator_data();
    void filerGetsTheFolderWithoutItsSeparator();
    void deleteSettingsAndExit_data();
    void deleteSettingsAndExit();
    void unreadableRecordsAreReportedAndKeptAside_data();
    void unreadableRecordsAreReportedAndKeptAside();
    void failedSaveAsksBeforeLosingTheRows_data();
    void failedSaveAsksBeforeLosingTheRows();
    void helpRequestsGoToTheShell_data();
    void helpRequestsGoToTheShell();

private:
    frmMain &openWindow(bool shown = true);
    void verifyListBetweenBars(frmMain &form);

    QTemporaryDir m_config;
    bool m_japaneseQt = false;
    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<test::RecordingShell> m_shell;
};

void tst_frmMain::initTestCase()
{
    QVERIFY(test::isolateSettings(m_config));
    // Qt's texts as the program shows them, where Qt's translations exist.
    m_japaneseQt = platform::installQtTranslations();
    QVERIFY(test::itemListIsPrivate());
}

void tst_frmMain::init()
{
    core::DeleteSettingsKey();
    removeItemFile();
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(m_work->isValid());
    m_shell = std::make_unique<test::RecordingShell>();
}

void tst_frmMain::cleanup()
{
    if (platform::formIsLoaded<frmMain>()) {
        // A test that left the window loaded may also have left ITEM.DAT unwritable.
        removeItemFile();
        m_shell->answers.clear();
        platform::formInstance<frmMain>().Unload();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    removeItemFile();
    m_shell.reset();
    m_work.reset();
}

frmMain &tst_frmMain::openWindow(bool shown)
{
    frmMain &form = platform::formInstance<frmMain>();
    if (shown)
        form.Show();
    settle();
    return form;
}

void tst_frmMain::verifyListBetweenBars(frmMain &form)
{
    settle();
    const QRect list = form.lvwMain->geometry();
    const int top
        = form.tlbMain->isVisible() ? form.tlbMain->geometry().bottom() + 1 : form.menuBar()->geometry().bottom() + 1;
    const int bottom = form.statusBar()->isVisible() ? form.statusBar()->geometry().top() : form.height();
    QCOMPARE(list.top(), top);
    QCOMPARE(list.bottom() + 1, bottom);
    QCOMPARE(list.left(), 0);
    QCOMPARE(list.width(), form.width());
}

void tst_frmMain::firstRunOpensWithTheDefaults()
{
    frmMain &form = openWindow();

    QCOMPARE(form.pos(), QPoint(0, 0));
    QCOMPARE(form.size(), QSize(platform::twips(7000), platform::twips(5000)));
    const int widths[] = { 1440, 1440, 2300, 1440 };
    for (int c = 0; c < 4; ++c)
        QCOMPARE(form.lvwMain->columnWidth(c), platform::twips(widths[c]));
    QVERIFY(form.tlbMain->isVisible());
    QVERIFY(form.statusBar()->isVisible());
    verifyListBetweenBars(form);
    QCOMPARE(form.lvwMain->rowCount(), 0);
    QCOMPARE(form.staMainText->text(), countText(0));
    QVERIFY(!form.tlbEdit->isEnabled());
    QVERIFY(!form.tlbDelete->isEnabled());
    QVERIFY(!form.tlbFiler->isEnabled());
    QVERIFY(form.tlbHelp->isEnabled());
    QVERIFY(m_shell->calls.isEmpty());
}

void tst_frmMain::loadAppliesTheSettingsAndListsTheItemsInFileOrder()
{
    core::writeNumber(core::setting(u"Left"), 750);
    core::writeNumber(core::setting(u"Top"), 1500);
    core::writeNumber(core::setting(u"Width"), 6000);
    core::writeNumber(core::setting(u"Height"), 4500);
    const int widths[] = { 1000, 2000, 600, 900 };
    core::writeNumber(core::setting(u"Column1Width"), widths[0]);
    core::writeNumber(core::setting(u"Column2Width"), widths[1]);
    core::writeNumber(core::setting(u"Column3Width"), widths[2]);
    core::writeNumber(core::setting(u"Column4Width"), widths[3]);
    core::writeYesNo(core::setting(u"ListFullRowSelect"), true);
    core::writeYesNo(core::setting(u"ListGridLines"), true);
    core::writeYesNo(core::setting(u"ShowToolBar"), false);
    // Not sorted: the list keeps the order of the file.
    const QList<QStringList> rows = lettersRows(QStringLiteral("ZAM"));
    writeItems(rows);

    frmMain &form = openWindow();

    QCOMPARE(form.pos(), QPoint(platform::twips(750), platform::twips(1500)));
    QCOMPARE(form.size(), QSize(platform::twips(6000), platform::twips(4500)));
    for (int c = 0; c < 4; ++c)
        QCOMPARE(form.lvwMain->columnWidth(c), platform::twips(widths[c]));
    QVERIFY(form.lvwMain->showGrid());
    QVERIFY(!form.tlbMain->isVisible());
    QVERIFY(form.statusBar()->isVisible());
    verifyListBetweenBars(form);

    QCOMPARE(rowsOf(form), rows);
    QCOMPARE(form.staMainText->text(), countText(3));
    QVERIFY(form.tlbEdit->isEnabled());
    QVERIFY(form.tlbDelete->isEnabled());
    QVERIFY(form.tlbFiler->isEnabled());

    // Full-row selection: a click on the second column selects the whole row.
    const QRect cell = form.lvwMain->visualItemRect(form.lvwMain->item(1, 1));
    QTest::mouseClick(form.lvwMain->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(form.lvwMain->selectedItems().size(), 4);
    QCOMPARE(form.selectedRow(), 1);
}

void tst_frmMain::unloadStoresPlacementColumnsAndRows_data()
{
    QTest::addColumn<bool>("shown");
    QTest::newRow("a shown window also stores whether the bars are shown") << true;
    QTest::newRow("a window only loaded hidden stores neither bar setting") << false;
}

void tst_frmMain::unloadStoresPlacementColumnsAndRows()
{
    QFETCH(bool, shown);
    writeItems(lettersRows(QStringLiteral("ABC")));
    frmMain &form = openWindow(shown);

    form.move(QPoint(30, 45));
    form.resize(QSize(510, 390));
    const int widths[] = { 70, 110, 200, 55 };
    for (int c = 0; c < 4; ++c)
        form.lvwMain->setColumnWidth(c, widths[c]);
    form.selectRow(0);
    QTest::keyClick(form.lvwMain, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(namesOf(form), (QStringList{ QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("A") }));
    settle();
    const QPoint position = form.pos();
    const QSize size = form.size();

    QVERIFY(form.Unload());

    QCOMPARE(storedNumber(QStringLiteral("Left")), QVariant(storedTwips(position.x())));
    QCOMPARE(storedNumber(QStringLiteral("Top")), QVariant(storedTwips(position.y())));
    QCOMPARE(storedNumber(QStringLiteral("Width")), QVariant(storedTwips(size.width())));
    QCOMPARE(storedNumber(QStringLiteral("Height")), QVariant(storedTwips(size.height())));
    for (int c = 0; c < 4; ++c)
        QCOMPARE(storedNumber(QStringLiteral("Column%1Width").arg(c + 1)), QVariant(storedTwips(widths[c])));
    QCOMPARE(core::ItemFile(core::itemFilePath()).read().records, records(lettersRows(QStringLiteral("BCA"))));
    if (shown) {
        QCOMPARE(storedNumber(QStringLiteral("ShowToolBar")), QVariant(1));
        QCOMPARE(storedNumber(QStringLiteral("ShowStatusBar")), QVariant(1));
    } else {
        QCOMPARE(storedNumber(QStringLiteral("ShowToolBar")), QVariant());
        QCOMPARE(storedNumber(QStringLiteral("ShowStatusBar")), QVariant());
    }
}

void tst_frmMain::closingWhileMaximizedStoresTheNormalRectangle()
{
    core::writeNumber(core::setting(u"Left"), 1500);
    core::writeNumber(core::setting(u"Top"), 1200);
    core::writeNumber(core::setting(u"Width"), 6000);
    core::writeNumber(core::setting(u"Height"), 4500);
    frmMain &form = openWindow();
    const QSize normalSize = form.size();

    form.showMaximized();
    settle();
    QVERIFY(form.isMaximized());
    QVERIFY(form.size() != normalSize);
    verifyListBetweenBars(form);

    QVERIFY(form.Unload());

    QCOMPARE(storedNumber(QStringLiteral("Left")), QVariant(roundTrip(1500)));
    QCOMPARE(storedNumber(QStringLiteral("Top")), QVariant(roundTrip(1200)));
    QCOMPARE(storedNumber(QStringLiteral("Width")), QVariant(roundTrip(6000)));
    QCOMPARE(storedNumber(QStringLiteral("Height")), QVariant(roundTrip(4500)));
}

void tst_frmMain::savedPositionIsKeptOnlyWhenOnAScreen_data()
{
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::addColumn<bool>("kept");
    QTest::newRow("a position on the screen is used as saved") << 1500 << 900 << true;
    QTest::newRow("a position far right and below every screen is brought back") << 400000 << 300000 << false;
    QTest::newRow("a position far left and above every screen is brought back") << -400000 << -300000 << false;
}

void tst_frmMain::savedPositionIsKeptOnlyWhenOnAScreen()
{
    QFETCH(int, left);
    QFETCH(int, top);
    QFETCH(bool, kept);
    core::writeNumber(core::setting(u"Left"), left);
    core::writeNumber(core::setting(u"Top"), top);

    frmMain &form = openWindow();

    if (kept) {
        QCOMPARE(form.pos(), QPoint(platform::twips(left), platform::twips(top)));
        return;
    }
    bool onScreen = false;
    for (const QScreen *screen : QGuiApplication::screens())
        onScreen = onScreen || screen->availableGeometry().contains(form.pos());
    QVERIFY2(onScreen, qPrintable(QStringLiteral("window at %1,%2").arg(form.pos().x()).arg(form.pos().y())));
    QCOMPARE(form.size(), QSize(platform::twips(7000), platform::twips(5000)));
}

void tst_frmMain::barTogglesKeepTheListBetweenTheBars_data()
{
    QTest::addColumn<int>("toolBarClicks");
    QTest::addColumn<int>("statusBarClicks");
    QTest::newRow("hiding the tool bar lets the list start below the menu bar") << 1 << 0;
    QTest::newRow("hiding the status bar lets the list reach the bottom edge") << 0 << 1;
    QTest::newRow("hiding both bars gives the list the whole client area") << 1 << 1;
    QTest::newRow("hiding and showing the tool bar again restores it") << 2 << 0;
}

void tst_frmMain::barTogglesKeepTheListBetweenTheBars()
{
    QFETCH(int, toolBarClicks);
    QFETCH(int, statusBarClicks);
    const bool toolBarShown = toolBarClicks % 2 == 0;
    const bool statusBarShown = statusBarClicks % 2 == 0;
    {
        frmMain &form = openWindow();
        for (int i = 0; i < toolBarClicks; ++i) {
            openMenu(form.mnuView);
            clickMenuEntry(form.mnuView, form.mnuViewToolbar);
        }
        for (int i = 0; i < statusBarClicks; ++i) {
            openMenu(form.mnuView);
            clickMenuEntry(form.mnuView, form.mnuViewStatusbar);
        }
        QCOMPARE(form.tlbMain->isVisible(), toolBarShown);
        QCOMPARE(form.statusBar()->isVisible(), statusBarShown);
        verifyListBetweenBars(form);

        // Opening the menu shows the bars' visibility as check marks.
        openMenu(form.mnuView);
        QCOMPARE(form.mnuViewToolbar->isChecked(), toolBarShown);
        QCOMPARE(form.mnuViewStatusbar->isChecked(), statusBarShown);
        form.mnuView->hide();

        QVERIFY(form.Unload());
        QCOMPARE(storedNumber(QStringLiteral("ShowToolBar")), QVariant(toolBarShown ? 1 : 0));
        QCOMPARE(storedNumber(QStringLiteral("ShowStatusBar")), QVariant(statusBarShown ? 1 : 0));
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // The next start shows the bars as they were left.
    frmMain &next = openWindow();
    QCOMPARE(next.tlbMain->isVisible(), toolBarShown);
    QCOMPARE(next.statusBar()->isVisible(), statusBarShown);
    verifyListBetweenBars(next);
}

void tst_frmMain::columnClicksSortTheRows_data()
{
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<QStringList>("names");
    // Name order Alpha, beta, gamma; pattern order beta, Alpha, gamma; folder
    // order Alpha, gamma, beta: every sort gives a different sequence.
    const QString a = QStringLiteral("Alpha"), b = QStringLiteral("beta"), g = QStringLiteral("gamma");
    QTest::newRow("a first click on the name column sorts by name descending")
        << QList<int>{ 1 } << QStringList{ g, b, a };
    QTest::newRow("a second click on the name column sorts by name ascending")
        << QList<int>{ 1, 1 } << QStringList{ a, b, g };
    QTest::newRow("a first click on the folder column sorts by folder ascending")
        << QList<int>{ 3 } << QStringList{ a, g, b };
    QTest::newRow("a second click on the folder column sorts by folder descending")
        << QList<int>{ 3, 3 } << QStringList{ b, g, a };
    QTest::newRow("a third click on the folder column sorts ascending again")
        << QList<int>{ 3, 3, 3 } << QStringList{ a, g, b };
    QTest::newRow("another column keeps the descending direction") << QList<int>{ 1, 2 } << QStringList{ g, a, b };
    QTest::newRow("another column keeps the ascending direction") << QList<int>{ 3, 1 } << QStringList{ a, b, g };
}

void tst_frmMain::columnClicksSortTheRows()
{
    QFETCH(QList<int>, clicks);
    QFETCH(QStringList, names);
    writeItems({ { QStringLiteral("beta"), QStringLiteral("a*.zip"), QStringLiteral("/t/charlie/"),
                     QStringLiteral("b.txt") },
        { QStringLiteral("gamma"), QStringLiteral("c*.zip"), QStringLiteral("/t/bravo/"), QStringLiteral("g.txt") },
        { QStringLiteral("Alpha"), QStringLiteral("b*.zip"), QStringLiteral("/t/alpha/"), QStringLiteral("a.txt") } });
    frmMain &form = openWindow();

    for (int column : clicks)
        clickHeader(form, column);

    QCOMPARE(namesOf(form), names);
    // Each row keeps its own texts.
    for (int r = 0; r < form.lvwMain->rowCount(); ++r)
        QCOMPARE(form.rowTexts(r).at(3), form.rowTexts(r).at(0).left(1).toLower() + QStringLiteral(".txt"));
    // The sorted order is the order unloading writes.
    QVERIFY(form.Unload());
    QCOMPARE(storedNames(), names);
}

void tst_frmMain::itemMenuOffersWhatTheSelectionAllows_data()
{
    QTest::addColumn<QString>("letters");
    QTest::addColumn<QList<int>>("selections");
    QTest::addColumn<bool>("rowEntries");
    QTest::addColumn<bool>("explorer");
    // Rows "E" have a folder that exists, rows "M" one that is missing.
    QTest::newRow("an empty list offers none of the row commands") << QString() << QList<int>{ -1 } << false << false;
    QTest::newRow("a selected row whose folder exists offers everything")
        << QStringLiteral("EM") << QList<int>{ 0 } << true << true;
    QTest::newRow("a selected row whose folder is missing disables only the explorer")
        << QStringLiteral("EM") << QList<int>{ 1 } << true << false;
    QTest::newRow("selecting a row whose folder exists enables the explorer again")
        << QStringLiteral("EM") << QList<int>{ 1, 0 } << true << true;
}

void tst_frmMain::itemMenuOffersWhatTheSelectionAllows()
{
    QFETCH(QString, letters);
    QFETCH(QList<int>, selections);
    QFETCH(bool, rowEntries);
    QFETCH(bool, explorer);
    QList<QStringList> rows;
    for (QChar c : letters) {
        const QString folder = c == u'E' ? m_work->path() + u'/' : m_work->filePath(QStringLiteral("missing/"));
        rows.append({ QString(c), QStringLiteral("*.zip"), folder, QString() });
    }
    writeItems(rows);
    frmMain &form = openWindow();

    for (int row : selections) {
        form.selectRow(row);
        openMenu(form.mnuItem);
        if (row != selections.constLast())
            form.mnuItem->hide();
    }

    QCOMPARE(form.mnuItemDelete->isEnabled(), rowEntries);
    QCOMPARE(form.mnuItemRestore->menuAction()->isEnabled(), rowEntries);
    QCOMPARE(form.mnuItemExplorer->isEnabled(), explorer);
    QCOMPARE(form.mnuItemEdit->isEnabled(), rowEntries);
    QVERIFY(form.mnuItemAdd->isEnabled());
    form.mnuItem->hide();
}

void tst_frmMain::popupDependsOnWhereTheMouseWent_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("rowPopup");
    QTest::addColumn<int>("selected"); // -1: not checked
    QTest::addColumn<bool>("explorer");
    // Rows 0 and 2 have a folder that exists, row 1 one that is missing.
    QTest::newRow("a right click on a row without moving gives the row pop-up")
        << QStringLiteral("rpress@r0 rrelease@r0") << true << 0 << true;
    QTest::newRow("a right click on a row whose folder is missing disables the explorer")
        << QStringLiteral("rpress@r1 rrelease@r1") << true << 1 << false;
    QTest::newRow("a right click on another row makes it the selected row")
        << QStringLiteral("click@r0 rpress@r2 rrelease@r2") << true << 2 << true;
    QTest::newRow("a left click on a row followed by a right release gives the row pop-up")
        << QStringLiteral("click@r1 rrelease@r1") << true << 1 << false;
    QTest::newRow("a right click on empty space gives the pop-up with only the add entry")
        << QStringLiteral("rpress@empty rrelease@empty") << false << -1 << false;
    QTest::newRow("moving between the press and the release gives the empty-space pop-up even over a row")
        << QStringLiteral("rpress@r0 move@r0 rrelease@r0") << false << -1 << false;
    QTest::newRow("moving from a clicked row to empty space gives the empty-space pop-up")
        << QStringLiteral("click@r0 move@empty rpress@empty rrelease@empty") << false << -1 << false;
    QTest::newRow("a row pop-up uses up the click, so the next release gives the empty-space pop-up")
        << QStringLiteral("rpress@r0 rrelease@r0 rrelease@r0") << false << -1 << false;
    // A double-click on a still row opens the item editor (closed again at
    // once here); it also uses up the row click, and that shows here: the
    // right release after it gives the empty-space pop-up.
    QTest::newRow("a double-click on a row uses up the click, so the next release gives the empty-space pop-up")
        << QStringLiteral("click@r0 dblclick@r0 rrelease@r0") << false << -1 << false;
}

void tst_frmMain::popupDependsOnWhereTheMouseWent()
{
    QFETCH(QString, script);
    QFETCH(bool, rowPopup);
    QFETCH(int, selected);
    QFETCH(bool, explorer);
    const QString exists = m_work->path() + u'/';
    writeItems({ { QStringLiteral("A"), QStringLiteral("a*.zip"), exists, QString() },
        { QStringLiteral("B"), QStringLiteral("b*.zip"), m_work->filePath(QStringLiteral("missing/")), QString() },
        { QStringLiteral("C"), QStringLiteral("c*.zip"), exists, QString() } });
    frmMain &form = openWindow();
    QWidget *viewport = form.lvwMain->viewport();
    QVERIFY(!form.lvwMain->itemAt(emptySpace(form)));

    QList<PopupSeen> popups;
    int releases = 0;
    int editors = 0;
    for (const QString &step : script.split(u' ')) {
        const QString action = step.section(u'@', 0, 0);
        const QString target = step.section(u'@', 1);
        const QPoint at = target == u"empty" ? emptySpace(form) : rowCentre(form, target.mid(1).toInt());
        if (action == u"rpress") {
            QTest::mousePress(viewport, Qt::RightButton, {}, at);
        } else if (action == u"rrelease") {
            ++releases;
            popups.append(releaseRight(form, at));
        } else if (action == u"click") {
            QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
        } else if (action == u"dblclick") {
            // The editor it opens is modal: close it from inside its loop,
            // whenever that loop gets going.
            QTimer closer;
            closer.setInterval(10);
            connect(&closer, &QTimer::timeout, &form, [&editors, &closer] {
                if (QWidget *editor = QApplication::activeModalWidget()) {
                    ++editors;
                    editor->close();
                    closer.stop();
                }
            });
            closer.start();
            QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
            QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
        } else if (action == u"move") {
            moveMouse(form, at);
        } else {
            QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
        }
    }

    QCOMPARE(popups.size(), releases);
    QCOMPARE(editors, int(script.count(QStringLiteral("dblclick"))));
    for (const PopupSeen &p : popups)
        QVERIFY(p.opened);
    const PopupSeen &last = popups.constLast();
    if (rowPopup) {
        QCOMPARE(last.entries,
            (QStringList{ QStringLiteral("編集(&E)"), QStringLiteral("----"), QStringLiteral("削除(&D)"),
                QStringLiteral("復元(&R)"), QStringLiteral("履歴(&H)"), QStringLiteral("その他の履歴"),
                QStringLiteral("----"), QStringLiteral("エクスプローラ(&E)") }));
        QCOMPARE(last.bold, QStringList{ QStringLiteral("編集(&E)") });
        QCOMPARE(last.defaultEntry, QStringLiteral("編集(&E)"));
        QCOMPARE(last.explorerEnabled, explorer);
    } else {
        QCOMPARE(last.entries, QStringList{ QStringLiteral("追加(&A)") });
        QCOMPARE(last.bold, QStringList{ QStringLiteral("追加(&A)") });
        QCOMPARE(last.defaultEntry, QStringLiteral("追加(&A)"));
    }
    if (selected >= 0)
        QCOMPARE(form.selectedRow(), selected);
    // Once closed, the pop-up has all its entries back.
    QCOMPARE(visibleEntries(form.mnuPopup),
        (QStringList{ QStringLiteral("追加(&A)"), QStringLiteral("編集(&E)"), QStringLiteral("----"),
            QStringLiteral("削除(&D)"), QStringLiteral("復元(&R)"), QStringLiteral("履歴(&H)"),
            QStringLiteral("その他の履歴"), QStringLiteral("----"), QStringLiteral("エクスプローラ(&E)") }));
}

void tst_frmMain::deleteItem_data()
{
    QTest::addColumn<QString>("letters");
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<bool>("noRemoveBox");
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<QString>("left");
    QTest::addColumn<int>("count");
    QTest::newRow("the tool bar button asks and Yes removes the row")
        << QStringLiteral("AfB") << QStringLiteral("toolbar") << false << QList<int>{ platform::vbYes }
        << QStringLiteral("AB") << 2;
    QTest::newRow("the menu entry asks and No keeps the row")
        << QStringLiteral("AfB") << QStringLiteral("menu") << false << QList<int>{ platform::vbNo }
        << QStringLiteral("AfB") << 3;
    QTest::newRow("with NoRemoveBox the pop-up entry removes the row at once")
        << QStringLiteral("AfB") << QStringLiteral("popup") << true << QList<int>{} << QStringLiteral("AB") << 2;
    QTest::newRow("the Del key asks and Yes removes the row")
        << QStringLiteral("AfB") << QStringLiteral("key") << false << QList<int>{ platform::vbYes }
        << QStringLiteral("AB") << 2;
    QTest::newRow("removing the last row disables the buttons that need one")
        << QStringLiteral("f") << QStringLiteral("toolbar") << false << QList<int>{ platform::vbYes } << QString() << 0;
}

void tst_frmMain::deleteItem()
{
    QFETCH(QString, letters);
    QFETCH(QString, trigger);
    QFETCH(bool, noRemoveBox);
    QFETCH(QList<int>, answers);
    QFETCH(QString, left);
    QFETCH(int, count);
    // "f" stands for the item called foo.
    auto rowsFor = [](const QString &l) {
        QList<QStringList> rows;
        for (QChar c : l) {
            QStringList row = letterRowWithRelatedFile(c.toUpper());
            if (c == u'f')
                row[0] = QStringLiteral("foo");
            rows.append(row);
        }
        return rows;
    };
    core::writeYesNo(core::setting(u"NoRemoveBox"), noRemoveBox);
    writeItems(rowsFor(letters));
    frmMain &form = openWindow();
    m_shell->answers = answers;
    const int fooRow = int(letters.indexOf(u'f'));
    form.selectRow(fooRow);

    if (trigger == u"toolbar") {
        clickToolButton(form, form.tlbDelete);
    } else if (trigger == u"menu") {
        openMenu(form.mnuItem);
        clickMenuEntry(form.mnuItem, form.mnuItemDelete);
    } else if (trigger == u"key") {
        QTest::keyClick(form.lvwMain, Qt::Key_Delete);
    } else {
        QTimer::singleShot(0, &form, [&form] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(form.mnuPopupDelete).center());
        });
        const QPoint at = rowCentre(form, fooRow);
        QTest::mousePress(form.lvwMain->viewport(), Qt::RightButton, {}, at);
        QTest::mouseRelease(form.lvwMain->viewport(), Qt::RightButton, {}, at);
    }

    const QStringList boxes = m_shell->callsOf(QStringLiteral("messageBox"));
    if (noRemoveBox)
        QVERIFY(boxes.isEmpty());
    else
        QCOMPARE(boxes,
            QStringList{ messageBoxCall(
                deleteQuestion(QStringLiteral("foo")), platform::vbYesNo | platform::vbQuestion, kConfirmTitle) });
    QCOMPARE(rowsOf(form), rowsFor(left));
    QCOMPARE(form.staMainText->text(), countText(count));
    const bool anyLeft = !left.isEmpty();
    QCOMPARE(form.tlbDelete->isEnabled(), anyLeft);
    QCOMPARE(form.tlbFiler->isEnabled(), anyLeft);
    QCOMPARE(form.tlbEdit->isEnabled(), anyLeft);
}

void tst_frmMain::afterARemovalNoRowIsSelected_data()
{
    QTest::addColumn<bool>("noRemoveBox");
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    const int del = Qt::Key_Delete, edit = Qt::Key_E;
    const Qt::KeyboardModifiers none, ctrl = Qt::ControlModifier;
    QTest::newRow("with NoRemoveBox a second Del removes nothing") << true << QList<int>{} << del << none;
    QTest::newRow("without NoRemoveBox a second Del asks about no row")
        << false << QList<int>{ platform::vbYes } << del << none;
    QTest::newRow("Ctrl+E opens no editor") << true << QList<int>{} << edit << ctrl;
}

void tst_frmMain::afterARemovalNoRowIsSelected()
{
    QFETCH(bool, noRemoveBox);
    QFETCH(QList<int>, answers);
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    core::writeYesNo(core::setting(u"NoRemoveBox"), noRemoveBox);
    writeItems(lettersRows(QStringLiteral("ABCD")));
    frmMain &form = openWindow();
    m_shell->answers = answers;
    form.selectRow(1);
    QTest::keyClick(form.lvwMain, Qt::Key_Delete);
    QCOMPARE(namesOf(form), QStringList({ QStringLiteral("A"), QStringLiteral("C"), QStringLiteral("D") }));
    const qsizetype boxesAfterFirst = m_shell->callsOf(QStringLiteral("messageBox")).size();

    QCOMPARE(keyOpensModal(form, Qt::Key(key), modifiers), QString());

    QCOMPARE(form.selectedRow(), -1);
    QCOMPARE(namesOf(form), QStringList({ QStringLiteral("A"), QStringLiteral("C"), QStringLiteral("D") }));
    QCOMPARE(m_shell->callsOf(QStringLiteral("messageBox")).size(), boxesAfterFirst);
    // A row the user picks again is removed as before.
    m_shell->answers = answers;
    form.selectRow(2);
    QTest::keyClick(form.lvwMain, Qt::Key_Delete);
    QCOMPARE(namesOf(form), QStringList({ QStringLiteral("A"), QStringLiteral("C") }));
}

void tst_frmMain::sortingPlacesAddedEditedAndMovedRows_data()
{
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<QString>("change"); // add, edit or up (Ctrl+Up)
    QTest::addColumn<QString>("pick"); // the row selected before the change
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("selected"); // "" : none
    const QString a = QStringLiteral("Alpha"), b = QStringLiteral("beta"), g = QStringLiteral("gamma"),
                  d = QStringLiteral("delta"), z = QStringLiteral("zeta");
    const QStringList delta{ d, QStringLiteral("d*.zip"), QStringLiteral("/t/bz/"), QStringLiteral("d.txt") };
    const QStringList zeta{ z, QStringLiteral("z*.zip"), QStringLiteral("/t/zulu/"), QStringLiteral("z.txt") };
    QTest::newRow("unsorted, an added row goes to the end")
        << QList<int>{} << QStringLiteral("add") << b << delta << QStringList{ b, g, a, d } << b;
    QTest::newRow("after a name sort descending, an added row takes its place")
        << QList<int>{ 1 } << QStringLiteral("add") << b << delta << QStringList{ g, d, b, a } << b;
    QTest::newRow("after a folder sort ascending, an added row takes its place")
        << QList<int>{ 3 } << QStringLiteral("add") << QString() << delta << QStringList{ a, g, d, b } << QString();
    QTest::newRow("an edited row moves to its sorted place and stays selected")
        << QList<int>{ 1, 1 } << QStringLiteral("edit") << a << zeta << QStringList{ b, g, z } << z;
    QTest::newRow("Ctrl+Up under the sort arrow keeps the order")
        << QList<int>{ 1, 1 } << QStringLiteral("up") << b << QStringList{} << QStringList{ a, b, g } << a;
}

void tst_frmMain::sortingPlacesAddedEditedAndMovedRows()
{
    QFETCH(QList<int>, clicks);
    QFETCH(QString, change);
    QFETCH(QString, pick);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, names);
    QFETCH(QString, selected);
    writeItems({ { QStringLiteral("beta"), QStringLiteral("a*.zip"), QStringLiteral("/t/charlie/"),
                     QStringLiteral("b.txt") },
        { QStringLiteral("gamma"), QStringLiteral("c*.zip"), QStringLiteral("/t/bravo/"), QStringLiteral("g.txt") },
        { QStringLiteral("Alpha"), QStringLiteral("b*.zip"), QStringLiteral("/t/alpha/"), QStringLiteral("a.txt") } });
    frmMain &form = openWindow();
    for (int column : clicks)
        clickHeader(form, column);
    form.lvwMain->clearSelection();
    if (!pick.isEmpty())
        form.selectRow(int(namesOf(form).indexOf(pick)));

    // The item editor's two stores, and the move key.
    if (change == u"add")
        form.appendRow(texts);
    else if (change == u"edit")
        form.setRowTexts(form.selectedRow(), texts);
    else
        QTest::keyClick(form.lvwMain, Qt::Key_Up, Qt::ControlModifier);

    QCOMPARE(namesOf(form), names);
    QCOMPARE(form.selectedRow() < 0 ? QString() : form.rowTexts(form.selectedRow()).at(0), selected);
    // Each row keeps its own texts.
    for (int r = 0; r < form.lvwMain->rowCount(); ++r)
        QCOMPARE(form.rowTexts(r).at(3), form.rowTexts(r).at(0).left(1).toLower() + QStringLiteral(".txt"));
    QVERIFY(form.Unload());
    QCOMPARE(storedNames(), names);
}

void tst_frmMain::moveRow_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("order");
    QTest::addColumn<int>("selected"); // -1: not checked
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    QTest::newRow("Ctrl+Up on the middle row swaps it with the row above")
        << int(Qt::Key_Up) << ctrl << 1 << QStringLiteral("BACD") << 0;
    QTest::newRow("Ctrl+Up on the last row swaps it with the row above")
        << int(Qt::Key_Up) << ctrl << 3 << QStringLiteral("ABDC") << 2;
    QTest::newRow("Ctrl+Up on the first row changes nothing")
        << int(Qt::Key_Up) << ctrl << 0 << QStringLiteral("ABCD") << 0;
    QTest::newRow("Ctrl+Down on the first row swaps it with the row below")
        << int(Qt::Key_Down) << ctrl << 0 << QStringLiteral("BACD") << 1;
    QTest::newRow("Ctrl+Down on a middle row swaps it with the row below")
        << int(Qt::Key_Down) << ctrl << 2 << QStringLiteral("ABDC") << 3;
    QTest::newRow("Ctrl+Down on the last row changes nothing")
        << int(Qt::Key_Down) << ctrl << 3 << QStringLiteral("ABCD") << 3;
    QTest::newRow("Ctrl+Home on the last row makes it the first")
        << int(Qt::Key_Home) << ctrl << 3 << QStringLiteral("DABC") << 0;
    QTest::newRow("Ctrl+Home on a middle row makes it the first")
        << int(Qt::Key_Home) << ctrl << 2 << QStringLiteral("CABD") << 0;
    QTest::newRow("Ctrl+Home on the first row changes nothing")
        << int(Qt::Key_Home) << ctrl << 0 << QStringLiteral("ABCD") << 0;
    QTest::newRow("Ctrl+End on the first row makes it the last")
        << int(Qt::Key_End) << ctrl << 0 << QStringLiteral("BCDA") << 3;
    QTest::newRow("Ctrl+End on a middle row makes it the last")
        << int(Qt::Key_End) << ctrl << 1 << QStringLiteral("ACDB") << 3;
    QTest::newRow("Ctrl+End on the last row changes nothing")
        << int(Qt::Key_End) << ctrl << 3 << QStringLiteral("ABCD") << 3;
    QTest::newRow("Ctrl+Shift+Up moves no row")
        << int(Qt::Key_Up) << (ctrl | Qt::ShiftModifier) << 2 << QStringLiteral("ABCD") << -1;
    QTest::newRow("Ctrl+Alt+Down moves no row")
        << int(Qt::Key_Down) << (ctrl | Qt::AltModifier) << 1 << QStringLiteral("ABCD") << -1;
    QTest::newRow("Up without Ctrl moves no row")
        << int(Qt::Key_Up) << Qt::KeyboardModifiers() << 2 << QStringLiteral("ABCD") << -1;
}

void tst_frmMain::moveRow()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, start);
    QFETCH(QString, order);
    QFETCH(int, selected);
    writeItems(lettersRows(QStringLiteral("ABCD")));
    frmMain &form = openWindow();
    form.selectRow(start);

    QTest::keyClick(form.lvwMain, Qt::Key(key), modifiers);

    // The moved row carries all four of its texts.
    QCOMPARE(rowsOf(form), lettersRows(order));
    if (selected >= 0) {
        QCOMPARE(form.selectedRow(), selected);
        QCOMPARE(form.rowTexts(selected).at(0), QStringLiteral("ABCD").mid(start, 1));
    }
}

void tst_frmMain::filerGetsTheFolderWithoutItsSeparator_data()
{
    QTest::addColumn<QVariant>("filer"); // invalid: not stored
    QTest::addColumn<bool>("folderExists");
    QTest::addColumn<bool>("starts");
    QTest::addColumn<QString>("prefix");
    QTest::newRow("the default filer leaves two blanks before the quoted folder")
        << QVariant() << true << true << QStringLiteral("xdg-open  ");
    QTest::newRow("an empty stored filer leaves one blank")
        << QVariant(QString()) << true << true << QStringLiteral("xdg-open ");
    QTest::newRow("a stored filer is used as it is")
        << QVariant(QStringLiteral("thunar --browser ")) << true << true << QStringLiteral("thunar --browser  ");
    QTest::newRow("a missing folder still goes to the filer")
        << QVariant() << false << true << QStringLiteral("xdg-open  ");
    QTest::newRow("a filer that cannot start is reported")
        << QVariant() << true << false << QStringLiteral("xdg-open  ");
}

void tst_frmMain::filerGetsTheFolderWithoutItsSeparator()
{
    QFETCH(QVariant, filer);
    QFETCH(bool, folderExists);
    QFETCH(bool, starts);
    QFETCH(QString, prefix);
    if (filer.isValid())
        core::writeText(core::setting(u"DefaultFiler"), filer.toString());
    const QString folder = m_work->filePath(QStringLiteral("Tools/Foo"));
    if (folderExists)
        QVERIFY(QDir().mkpath(folder));
    writeItems({ letterRowWithRelatedFile(u'A'),
        { QStringLiteral("Foo"), QStringLiteral("foo*.zip"), folder + u'/', QString() } });
    frmMain &form = openWindow();
    form.selectRow(1);
    m_shell->startSucceeds = starts;

    clickToolButton(form, form.tlbFiler);

    QCOMPARE(m_shell->callsOf(QStringLiteral("start")),
        QStringList{ QStringLiteral("start|") + prefix + u'"' + folder + u'"' });
    QCOMPARE(m_shell->callsOf(QStringLiteral("messageBox")).size(), starts ? 0 : 1);
}

void tst_frmMain::deleteSettingsAndExit_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("staysLoaded");
    QTest::addColumn<bool>("settingsKept");
    QTest::newRow("Yes unloads, writes the items and removes the settings") << int(platform::vbYes) << false << false;
    QTest::newRow("No unloads and keeps the settings") << int(platform::vbNo) << false << true;
    QTest::newRow("Cancel keeps the window") << int(platform::vbCancel) << true << true;
}

void tst_frmMain::deleteSettingsAndExit()
{
    QFETCH(int, answer);
    QFETCH(bool, staysLoaded);
    QFETCH(bool, settingsKept);
    const QString settingsFile = m_config.filePath(QStringLiteral("Vorn/Pellora.conf"));
    core::writeNumber(core::setting(u"Width"), 6000);
    QVERIFY(QFileInfo::exists(settingsFile));
    writeItems(lettersRows(QStringLiteral("ABC")));
    frmMain &form = openWindow();
    clickHeader(form, 1); // C, B, A: only unloading writes this order
    m_shell->answers = { answer };

    openMenu(form.mnuFile);
    clickMenuEntry(form.mnuFile, form.mnuFileDeleteRegistry);

    QCOMPARE(m_shell->callsOf(QStringLiteral("messageBox")),
        QStringList{ messageBoxCall(QStringLiteral("本当に設定を削除しますか?"),
            platform::vbYesNoCancel | platform::vbQuestion | platform::vbDefaultButton2, kConfirmTitle) });
    QCOMPARE(platform::formIsLoaded<frmMain>(), staysLoaded);
    QCOMPARE(QFileInfo::exists(settingsFile), settingsKept);
    QCOMPARE(storedNames(), staysLoaded ? QStringLiteral("A B C").split(u' ') : QStringLiteral("C B A").split(u' '));
    if (!staysLoaded && settingsKept)
        QCOMPARE(storedNumber(QStringLiteral("ShowStatusBar")), QVariant(1));
}

void tst_frmMain::unreadableRecordsAreReportedAndKeptAside_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("unreadable");
    QTest::newRow("a line of five fields among good ones")
        << QByteArray("\"A\",\"a*\",\"/a/\",\"\"\r\n\"x\",\"y\",\"z\",\"w\",\"v\"\r\n\"B\",\"b*\",\"/b/\",\"\"\r\n")
        << QStringList{ QStringLiteral("A"), QStringLiteral("B") } << 1;
    QTest::newRow("a list that cannot be read at all")
        << QByteArray::fromHex("00c3ff810d0a9f22e0802c2c2c2c2c0a") << QStringList{} << 2;
}

void tst_frmMain::unreadableRecordsAreReportedAndKeptAside()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, names);
    QFETCH(int, unreadable);
    const QString path = core::itemFilePath();
    const QString kept = path + QStringLiteral(".bak");
    QFile::remove(kept);
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    frmMain &form = openWindow();
    QCOMPARE(namesOf(form), names);
    const QStringList boxes = m_shell->callsOf(QStringLiteral("messageBox"));
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes.first().contains(path) && boxes.first().contains(QStringLiteral("%1 件").arg(unreadable))
            && boxes.first().contains(kept),
        qPrintable(boxes.first()));
    QVERIFY(form.Unload());

    QCOMPARE(storedNames(), names);
    QFile keptFile(kept);
    QVERIFY(keptFile.open(QIODevice::ReadOnly));
    QVERIFY(keptFile.readAll() == bytes);
    keptFile.close();
    // What is left reads whole: no second message.
    openWindow();
    QCOMPARE(m_shell->callsOf(QStringLiteral("messageBox")).size(), 1);
    QFile::remove(kept);
}

void tst_frmMain::failedSaveAsksBeforeLosingTheRows_data()
{
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<QList<int>>("styles");
    QTest::addColumn<bool>("staysLoaded");
    const int retryCancel = platform::vbRetryCancel | platform::vbExclamation;
    const int leave = platform::vbYesNo | platform::vbQuestion | platform::vbDefaultButton2;
    QTest::newRow("Retry, then Cancel and No keep the window with its rows")
        << QList<int>{ platform::vbRetry, platform::vbCancel, platform::vbNo }
        << QList<int>{ retryCancel, retryCancel, leave } << true;
    QTest::newRow("Cancel and Yes leave without saving")
        << QList<int>{ platform::vbCancel, platform::vbYes } << QList<int>{ retryCancel, leave } << false;
}

void tst_frmMain::failedSaveAsksBeforeLosingTheRows()
{
    QFETCH(QList<int>, answers);
    QFETCH(QList<int>, styles);
    QFETCH(bool, staysLoaded);
    writeItems(lettersRows(QStringLiteral("ABC")));
    frmMain &form = openWindow();
    // A folder where ITEM.DAT should be: no file can replace it.
    removeItemFile();
    QVERIFY(QDir().mkdir(core::itemFilePath()));
    m_shell->answers = answers;

    openMenu(form.mnuFile);
    clickMenuEntry(form.mnuFile, form.mnuFileExit);

    const QStringList boxes = m_shell->callsOf(QStringLiteral("messageBox"));
    QCOMPARE(boxes.size(), styles.size());
    for (int i = 0; i < boxes.size(); ++i)
        QCOMPARE(boxes.at(i).section(u'|', -2, -2).toInt(), styles.at(i));
    QVERIFY(m_shell->answers.isEmpty());
    // The reason under the question is Qt's, and Japanese like the rest.
    if (m_japaneseQt) {
        QString text = boxes.first().section(u'|', 1, 1);
        text.remove(core::itemFilePath());
        QVERIFY2(!text.contains(QRegularExpression(QStringLiteral("[A-Za-z]"))), qPrintable(text));
    }
    QCOMPARE(platform::formIsLoaded<frmMain>(), staysLoaded);
    QVERIFY(QFileInfo(core::itemFilePath()).isDir());
    if (staysLoaded) {
        QVERIFY(form.isVisible());
        QCOMPARE(rowsOf(form), lettersRows(QStringLiteral("ABC")));
    }
}

void tst_frmMain::helpRequestsGoToTheShell_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<int>("command");
    QTest::newRow("the contents entry opens the contents")
        << QStringLiteral("contents") << int(platform::Shell::Help::Contents);
    QTest::newRow("the tool bar button opens the contents")
        << QStringLiteral("toolbar") << int(platform::Shell::Help::Contents);
    QTest::newRow("the search entry opens the search")
        << QStringLiteral("search") << int(platform::Shell::Help::Search);
}

void tst_frmMain::helpRequestsGoToTheShell()
{
    QFETCH(QString, trigger);
    QFETCH(int, command);
    frmMain &form = openWindow();

    if (trigger == u"toolbar") {
        clickToolButton(form, form.tlbHelp);
    } else {
        openMenu(form.mnuHelp);
        clickMenuEntry(form.mnuHelp, trigger == u"contents" ? form.mnuHelpContents : form.mnuHelpSearchTopic);
    }

    // The help lives beside the executable.
    QVERIFY2(form.helpFile().startsWith(platform::executableFolder()), qPrintable(form.helpFile()));
    QCOMPARE(m_shell->calls, QStringList{ QStringLiteral("help|%1|%2|0").arg(form.helpFile()).arg(command) });
}

QTEST_MAIN(tst_frmMain)
#include "tst_frmMain.moc"
