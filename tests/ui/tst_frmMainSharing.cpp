#include "core/ItemListStore.h"
#include "core/modRegistry.h"
#include "platform/gui/Form.h"
#include "support/Forms.h"
#include "support/ItemList.h"
#include "support/LetterItems.h"
#include "support/RecordingShell.h"
#include "support/TestSupport.h"
#include "ui/dialogs/frmItem.h"
#include "ui/main/frmMain.h"

#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace pellora;
using core::ItemRecord;
using ui::frmMain;
using namespace Qt::StringLiterals;

namespace {

QString names(const frmMain &form)
{
    QString out;
    for (int r = 0; r < form.lvwMain->rowCount(); ++r)
        out += form.rowTexts(r).at(0);
    return out;
}

QString selectedName(const frmMain &form)
{
    const int row = form.selectedRow();
    return row < 0 ? QString() : form.rowTexts(row).at(0);
}

// What another process does: read the list, change it, save it.
void saveElsewhere(const QString &letters)
{
    core::ItemListStore other(core::itemListPlace());
    other.load();
    QVERIFY(!other.save(test::letterItems(letters)).error);
}

} // namespace

// The shown item list follows what other processes save while it is open.
class tst_frmMainSharing : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void rowsFollowOtherProcessesSaves_data();
    void rowsFollowOtherProcessesSaves();
    void rowsWaitWhileTheEditorIsOpen();

private:
    QTemporaryDir m_config;
    test::RecordingShell m_shell;
};

void tst_frmMainSharing::initTestCase()
{
    QVERIFY(test::isolateSettings(m_config));
    QVERIFY(test::itemListIsPrivate());
    QCOMPARE(QFileInfo(core::itemListPlace().home).absolutePath(), QCoreApplication::applicationDirPath());
}

void tst_frmMainSharing::cleanup()
{
    test::unloadForms<ui::frmItem, frmMain>();
    QFile::remove(core::itemListPlace().home);
}

void tst_frmMainSharing::rowsFollowOtherProcessesSaves_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("sorted"); // one click on the name column: descending
    QTest::addColumn<QString>("saved"); // what the other process saves
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("selected"); // B is selected before
    QTest::newRow("an added item appears and the selection stays")
        << u"ABC"_s << false << u"ABCD"_s << u"ABCD"_s << u"B"_s;
    QTest::newRow("a removed item goes and takes the selection with it")
        << u"ABC"_s << false << u"AC"_s << u"AC"_s << QString();
    QTest::newRow("a sorted list puts an added item in its place")
        << u"ABD"_s << true << u"ABDC"_s << u"DCBA"_s << u"B"_s;
}

void tst_frmMainSharing::rowsFollowOtherProcessesSaves()
{
    QFETCH(QString, before);
    QFETCH(bool, sorted);
    QFETCH(QString, saved);
    QFETCH(QString, shown);
    QFETCH(QString, selected);
    QVERIFY(!core::ItemFile(core::itemListPlace().home).write(test::letterItems(before)));
    frmMain &form = platform::formInstance<frmMain>();
    form.Show();
    if (sorted)
        Q_EMIT form.lvwMain->horizontalHeader()->sectionClicked(0);
    form.selectRow(names(form).indexOf(u'B'));

    saveElsewhere(saved);

    QTRY_COMPARE(names(form), shown);
    QCOMPARE(selectedName(form), selected);
    QCOMPARE(form.staMainText->text(), QString::number(shown.size()) + u"個のアイテム"_s);
}

void tst_frmMainSharing::rowsWaitWhileTheEditorIsOpen()
{
    QVERIFY(!core::ItemFile(core::itemListPlace().home).write(test::letterItems(u"AB"_s)));
    frmMain &form = platform::formInstance<frmMain>();
    form.Show();
    form.selectRow(1);
    ui::frmItem &editor = platform::formInstance<ui::frmItem>();
    editor.Show();

    saveElsewhere(u"CAB"_s);
    // Longer than the window waits before it looks at the file.
    QTest::qWait(1000);
    QCOMPARE(names(form), u"AB"_s);

    editor.Unload();
    QTRY_COMPARE(names(form), u"CAB"_s);
    QCOMPARE(selectedName(form), u"B"_s);
}

QTEST_MAIN(tst_frmMainSharing)
#include "tst_frmMainSharing.moc"
