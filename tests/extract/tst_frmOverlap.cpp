#include "core/clsItem.h"
#include "core/modRegistry.h"
#include "extract/frmOverlap.h"
#include "platform/archiver/ArchiverRegistry.h"
#include "platform/gui/Twips.h"
#include "support/FakeArchiver.h"
#include "support/GuiActions.h"
#include "support/RecordingShell.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace pellora;
using namespace Qt::Literals::StringLiterals;
using extract::frmOverlap;

namespace {

QStringList column(const QTableWidget *list, int c)
{
    QStringList texts;
    for (int row = 0; row < list->rowCount(); ++row)
        texts << list->item(row, c)->text();
    return texts;
}

} // namespace

class tst_frmOverlap : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void layoutFollowsTheStoredColumnsAndFlags_data();
    void layoutFollowsTheStoredColumnsAndFlags();
    void statusBarCountsTheRowsAndTheListEndsAboveIt();
    void promptIsShownWholeAboveTheList_data();
    void promptIsShownWholeAboveTheList();
    void headerClicksSortAsText();
    void choosingExtractsIntoTheChosenRowOnly_data();
    void choosingExtractsIntoTheChosenRowOnly();

private:
    QTemporaryDir m_config;
    QTemporaryDir m_folders;
    std::unique_ptr<test::RecordingShell> m_shell;
    std::shared_ptr<test::FakeArchiver> m_archiver;
};

void tst_frmOverlap::initTestCase()
{
    QVERIFY(m_folders.isValid());
    QVERIFY(test::isolateSettings(m_config));
    for (const QString &name : { u"first"_s, u"second"_s })
        test::writeFile(m_folders.filePath(name + u"/readme.txt"_s), "read me\n");
}

void tst_frmOverlap::init()
{
    QVERIFY(!core::DeleteSettingsKey());
    // No result window, so an extraction runs through without a modal loop.
    core::writeYesNo(core::setting(u"NoLog"), true);
    m_shell = std::make_unique<test::RecordingShell>();
    m_archiver = std::make_shared<test::FakeArchiver>();
    arc::ArchiverRegistry::install(QStringLiteral("UNLHA32.DLL"), m_archiver);
    const QString archive = m_folders.filePath(QStringLiteral("foo123.lzh"));
    m_archiver->accepts = { archive };
    core::CurrentItem = std::make_shared<core::clsItem>(QStringList());
    core::CurrentItem->setPath(archive);
    QCOMPARE(core::CurrentItem->ArchiveType(), QStringLiteral("LZH"));
}

void tst_frmOverlap::cleanup()
{
    core::CurrentItem.reset();
    m_shell.reset();
    arc::ArchiverRegistry::restoreBuiltIns();
}

void tst_frmOverlap::layoutFollowsTheStoredColumnsAndFlags_data()
{
    QTest::addColumn<bool>("stored");
    QTest::addColumn<QList<int>>("widths"); // twips
    QTest::newRow("defaults when nothing is stored, the related file narrower than in the main list")
        << false << QList<int>{ 1440, 2300, 1400 };
    QTest::newRow("the main list's columns 1, 3 and 4 and both flags") << true << QList<int>{ 2000, 3000, 900 };
}

void tst_frmOverlap::layoutFollowsTheStoredColumnsAndFlags()
{
    QFETCH(bool, stored);
    QFETCH(QList<int>, widths);
    if (stored) {
        core::writeNumber(core::setting(u"Column1Width"), 2000);
        core::writeNumber(core::setting(u"Column2Width"), 5555);
        core::writeNumber(core::setting(u"Column3Width"), 3000);
        core::writeNumber(core::setting(u"Column4Width"), 900);
        core::writeYesNo(core::setting(u"ListFullRowSelect"), true);
        core::writeYesNo(core::setting(u"ListGridLines"), true);
    }
    frmOverlap window;
    window.Load(); // what the first access to the list does
    for (int c = 0; c < 3; ++c)
        QCOMPARE(window.lvwOverlap->columnWidth(c), platform::twips(widths.at(c)));
    QCOMPARE(window.lvwOverlap->selectionBehavior() == QAbstractItemView::SelectRows, stored);
    QCOMPARE(window.lvwOverlap->showGrid(), stored);
}

void tst_frmOverlap::statusBarCountsTheRowsAndTheListEndsAboveIt()
{
    frmOverlap window;
    for (int i = 0; i < 12; ++i)
        window.addRow(QString::number(i), QStringLiteral("/f/"), QString());
    window.show();
    QCOMPARE(window.staOverlap->currentMessage(), QStringLiteral("12個のアイテム"));

    window.resize(500, 400);
    QCOMPARE(window.lvwOverlap->geometry().bottom() + 1, window.staOverlap->y());
    QCOMPARE(window.staOverlap->geometry().bottom() + 1, window.height());
    window.showMaximized();
    QApplication::processEvents();
    QVERIFY(window.isMaximized() && window.width() > 500);
    QCOMPARE(window.lvwOverlap->width(), window.width());
    QCOMPARE(window.lvwOverlap->geometry().bottom() + 1, window.staOverlap->y());
}

void tst_frmOverlap::promptIsShownWholeAboveTheList_data()
{
    QTest::addColumn<int>("width"); // twips; 0 keeps the design size
    QTest::addColumn<double>("fontScale");
    QTest::newRow("at the design size") << 0 << 1.0;
    QTest::newRow("in a window narrower than the design") << 2500 << 1.0;
    QTest::newRow("in a larger font") << 0 << 1.5;
}

void tst_frmOverlap::promptIsShownWholeAboveTheList()
{
    QFETCH(int, width);
    QFETCH(double, fontScale);
    frmOverlap window;
    if (fontScale != 1.0) {
        QFont font = window.font();
        font.setPointSizeF(font.pointSizeF() * fontScale);
        window.setFont(font);
    }
    window.Load();
    window.addRow(QStringLiteral("Foo"), QStringLiteral("/f/"), QString());
    if (width > 0)
        window.resize(platform::twips(width), window.height());
    window.show();
    QApplication::processEvents();

    const QLabel *label = window.lblOverlap;
    // Broken into lines for the width it has, the text is still the same.
    QCOMPARE(QString(label->text()).remove(u'\n'),
        QStringLiteral("複数のパターンにマッチしました。解凍先を選択してください。"));
    // Every line of the text, broken where the label's width makes it
    // break, lies inside the label; the label lies inside the window and
    // above the list.
    const QRect room = label->contentsRect();
    const QRect needed = label->fontMetrics().boundingRect(room, Qt::TextWordWrap, label->text());
    QVERIFY(needed.width() <= room.width() && needed.height() <= room.height());
    QVERIFY(window.rect().contains(label->geometry()));
    QVERIFY(label->geometry().bottom() < window.lvwOverlap->y());
    QCOMPARE(window.lvwOverlap->geometry().bottom() + 1, window.staOverlap->y());
}

void tst_frmOverlap::headerClicksSortAsText()
{
    frmOverlap window;
    window.addRow(QStringLiteral("Beta"), QStringLiteral("/c/"), QString());
    window.addRow(QStringLiteral("alpha"), QStringLiteral("/b10/"), QString());
    window.addRow(QStringLiteral("gamma"), QStringLiteral("/b9/"), QString());
    window.show();
    const QTableWidget *list = window.lvwOverlap;

    test::clickHeader(window.lvwOverlap->horizontalHeader(), 1);
    QCOMPARE(column(list, 1), (QStringList{ u"/b10/"_s, u"/b9/"_s, u"/c/"_s }));
    test::clickHeader(window.lvwOverlap->horizontalHeader(), 1);
    QCOMPARE(column(list, 1), (QStringList{ u"/c/"_s, u"/b9/"_s, u"/b10/"_s }));
    // Another column keeps the direction; case does not split the names.
    test::clickHeader(window.lvwOverlap->horizontalHeader(), 0);
    QCOMPARE(column(list, 0), (QStringList{ u"gamma"_s, u"Beta"_s, u"alpha"_s }));

    frmOverlap fresh;
    fresh.addRow(QStringLiteral("a"), QStringLiteral("/a/"), QString());
    fresh.addRow(QStringLiteral("b"), QStringLiteral("/b/"), QString());
    fresh.show();
    test::clickHeader(fresh.lvwOverlap->horizontalHeader(), 0);
    QCOMPARE(column(fresh.lvwOverlap, 0), (QStringList{ u"b"_s, u"a"_s }));
}

using Gesture = std::function<void(frmOverlap &, QWidget *viewport)>;

void tst_frmOverlap::choosingExtractsIntoTheChosenRowOnly_data()
{
    QTest::addColumn<Gesture>("gesture");
    QTest::addColumn<int>("chosen"); // -1: nothing extracted
    QTest::addColumn<bool>("open"); // the window stays open

    auto clickRow = [](frmOverlap &w, QWidget *v, int row) {
        QTest::mouseClick(v, Qt::LeftButton, {}, test::cellCenter(w.lvwOverlap, row));
    };
    QTest::newRow("Enter chooses the selected row") << Gesture([=](frmOverlap &w, QWidget *v) {
        clickRow(w, v, 1);
        QTest::keyClick(w.lvwOverlap, Qt::Key_Return);
    }) << 1 << false;
    QTest::newRow("Enter with no row selected does nothing") << Gesture([](frmOverlap &w, QWidget *) {
        QTest::keyClick(w.lvwOverlap, Qt::Key_Return);
        w.choose();
    }) << -1 << true;
    QTest::newRow("a double-click on a row chooses it")
        << Gesture([](frmOverlap &w, QWidget *v) { test::doubleClick(v, test::cellCenter(w.lvwOverlap, 1)); }) << 1
        << false;
    // The system still reports a double-click when the pointer moved a little
    // between its two clicks; one that moved is not taken as a choice.
    QTest::newRow("a double-click after the pointer moved since the row click does nothing") << Gesture(
        [=](frmOverlap &w, QWidget *v) {
            clickRow(w, v, 1);
            const QPoint moved = test::cellCenter(w.lvwOverlap, 1) + QPoint(3, 1);
            test::moveOver(v, moved);
            QTest::mouseDClick(v, Qt::LeftButton, {}, moved);
            QTest::mouseRelease(v, Qt::LeftButton, {}, moved);
        }) << -1 << true;
    QTest::newRow("Esc closes without extracting") << Gesture([=](frmOverlap &w, QWidget *v) {
        clickRow(w, v, 0);
        QTest::keyClick(w.lvwOverlap, Qt::Key_Escape);
    }) << -1 << false;
    QTest::newRow("the close box closes without extracting") << Gesture([=](frmOverlap &w, QWidget *v) {
        clickRow(w, v, 0);
        w.close();
    }) << -1 << false;
    QTest::newRow("the bold default entry of a right-click menu chooses the row right-clicked") << Gesture(
        [=](frmOverlap &w, QWidget *v) {
            QTest::mouseClick(v, Qt::RightButton, {}, test::cellCenter(w.lvwOverlap, 1));
            QVERIFY(w.mnuPopup->isVisible());
            QCOMPARE(w.mnuPopup->defaultAction(), w.mnuPopupSelect);
            QVERIFY(w.mnuPopupSelect->font().bold());
            w.mnuPopupSelect->trigger();
            w.mnuPopup->hide();
        }) << 1 << false;
    QTest::newRow("a caller's choice of the only row, window never shown") << Gesture([](frmOverlap &w, QWidget *) {
        w.hide();
        w.chooseRow(0);
    }) << 0 << false;
}

void tst_frmOverlap::choosingExtractsIntoTheChosenRowOnly()
{
    QFETCH(Gesture, gesture);
    QFETCH(int, chosen);
    QFETCH(bool, open);
    const QStringList folders
        = { m_folders.filePath(QStringLiteral("first/")), m_folders.filePath(QStringLiteral("second/")) };
    frmOverlap window;
    // Same pattern twice: only the folder and the related file tell them apart.
    window.addRow(QStringLiteral("Foo"), folders.at(0), QString());
    window.addRow(QStringLiteral("Foo"), folders.at(1), QStringLiteral("readme.txt"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    gesture(window, window.lvwOverlap->viewport());
    if (QTest::currentTestFailed())
        return;

    QCOMPARE(window.isVisible(), open);
    QCOMPARE(window.result() == QDialog::Accepted, chosen >= 0);
    const core::clsItem &item = *core::CurrentItem;
    if (chosen < 0) {
        QVERIFY(m_archiver->commands.isEmpty());
        QVERIFY(item.Output().isEmpty());
        QVERIFY(m_shell->calls.isEmpty());
        return;
    }
    QCOMPARE(m_archiver->commands.size(), 1);
    QVERIFY(m_archiver->commands.first().endsWith(u'"' + folders.at(chosen) + u"\" \"*.*\""_s));
    QCOMPARE(item.Output(), folders.at(chosen));
    QCOMPARE(item.Relation(), chosen == 1 ? QStringLiteral("readme.txt") : QString());
    QVERIFY(item.Title().isEmpty() && item.Pattern().isEmpty());
    // The first row has no related file: nothing is opened for it.
    QCOMPARE(m_shell->calls,
        chosen == 1 ? QStringList{ u"open|"_s + folders.at(1) + u"readme.txt|"_s + folders.at(1).chopped(1) }
                    : QStringList());
}

QTEST_MAIN(tst_frmOverlap)
#include "tst_frmOverlap.moc"
