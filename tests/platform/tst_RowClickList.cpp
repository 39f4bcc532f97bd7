#include "platform/gui/RowClickList.h"
#include "support/GuiActions.h"

#include <QStandardItemModel>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

using namespace pellora;

// The list both choosers use: what its handlers hear, in order, for what
// the mouse and keyboard do, on either kind of table.
class tst_RowClickList : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void handlersHearInOrder_data();
    void handlersHearInOrder();
    void aViewOverAModelHearsTheSame();
};

enum class Act { Click, RightClick, DragToNextRow, ClickBelowRows, DoubleClick, TypeA, ArrowDown };
Q_DECLARE_METATYPE(Act)

namespace {

template <typename View> void listen(platform::RowClickList<View> &list, QStringList &heard)
{
    list.ItemClick = [&heard] { heard << QStringLiteral("click"); };
    list.MouseMove = [] {};
    list.DblClick = [&heard] { heard << QStringLiteral("double"); };
    list.MouseUp = [&heard](Qt::MouseButton button, QPoint) { heard << QStringLiteral("up %1").arg(int(button)); };
    list.KeyPress = [&heard](int key) { heard << QStringLiteral("key %1").arg(key); };
}

void act(QTableView &list, Act what)
{
    QWidget *area = list.viewport();
    switch (what) {
    case Act::Click:
        QTest::mouseClick(area, Qt::LeftButton, {}, test::cellCenter(&list, 0));
        break;
    case Act::RightClick:
        QTest::mouseClick(area, Qt::RightButton, {}, test::cellCenter(&list, 1));
        break;
    case Act::DragToNextRow:
        QTest::mousePress(area, Qt::LeftButton, {}, test::cellCenter(&list, 0));
        QTest::mouseRelease(area, Qt::LeftButton, {}, test::cellCenter(&list, 1));
        break;
    case Act::ClickBelowRows:
        QTest::mouseClick(area, Qt::LeftButton, {}, QPoint(5, test::cellCenter(&list, 2).y() + 100));
        break;
    case Act::DoubleClick:
        test::doubleClick(area, test::cellCenter(&list, 1));
        break;
    case Act::TypeA:
        QTest::keyClick(&list, Qt::Key_A, {});
        break;
    case Act::ArrowDown:
        QTest::keyClick(&list, Qt::Key_Down);
        break;
    }
}

} // namespace

void tst_RowClickList::handlersHearInOrder_data()
{
    QTest::addColumn<Act>("what");
    QTest::addColumn<QStringList>("heard");
    const QString left = QStringLiteral("up %1").arg(int(Qt::LeftButton));
    const QString right = QStringLiteral("up %1").arg(int(Qt::RightButton));
    QTest::newRow("a click on a row comes before its release")
        << Act::Click << QStringList{ QStringLiteral("click"), left };
    QTest::newRow("any button clicks") << Act::RightClick << QStringList{ QStringLiteral("click"), right };
    QTest::newRow("press and release on different rows is no click") << Act::DragToNextRow << QStringList{ left };
    QTest::newRow("a click below the rows is no click") << Act::ClickBelowRows << QStringList{ left };
    // The release that ends a double-click is not one more click.
    QTest::newRow("double-click") << Act::DoubleClick
                                  << QStringList{ QStringLiteral("click"), left, QStringLiteral("double"), left };
    QTest::newRow("a typed character reaches the key handler") << Act::TypeA << QStringList{ QStringLiteral("key 97") };
    QTest::newRow("a key without text does not") << Act::ArrowDown << QStringList{};
}

void tst_RowClickList::handlersHearInOrder()
{
    QFETCH(Act, what);
    QFETCH(QStringList, heard);
    platform::RowClickList<QTableWidget> list(3, 2);
    for (int row = 0; row < 3; ++row)
        list.setItem(row, 0, new QTableWidgetItem(QStringLiteral("row %1").arg(row)));
    QStringList got;
    listen(list, got);
    list.resize(300, 300);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));

    act(list, what);

    QCOMPARE(got, heard);
}

void tst_RowClickList::aViewOverAModelHearsTheSame()
{
    QStandardItemModel model(3, 2);
    platform::RowClickList<QTableView> list;
    list.setModel(&model);
    QStringList got;
    listen(list, got);
    list.resize(300, 300);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));

    act(list, Act::DragToNextRow);
    act(list, Act::Click);

    const QString left = QStringLiteral("up %1").arg(int(Qt::LeftButton));
    QCOMPARE(got, (QStringList{ left, QStringLiteral("click"), left }));
}

QTEST_MAIN(tst_RowClickList)
#include "tst_RowClickList.moc"
