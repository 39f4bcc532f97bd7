#pragma once

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QTableView>
#include <QTest>

// What a user does to the program's lists, as the system delivers it.
// Header-only, so that only the tests with windows pull in Qt Widgets.
namespace pellora::test {

// Lets posted events (layout requests among them) run, so that geometry and
// texts read what the user would see.
inline void settle()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

// A point inside the first column of a row, in the list's viewport.
inline QPoint cellCenter(const QTableView *list, int row)
{
    return { list->columnViewportPosition(0) + 5, list->rowViewportPosition(row) + list->rowHeight(row) / 2 };
}

// A left click near the start of a header section (0-based).
inline void clickHeader(QHeaderView *header, int section)
{
    QTest::mouseClick(
        header->viewport(), Qt::LeftButton, {}, { header->sectionViewportPosition(section) + 5, header->height() / 2 });
}

// The mouse moving over a widget with no button held.
inline void moveOver(QWidget *viewport, QPoint position)
{
    QMouseEvent move(QEvent::MouseMove, position, viewport->mapToGlobal(position), Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(viewport, &move);
}

// What the system delivers for a double-click: a whole click, then the
// double-click press and its release.
inline void doubleClick(QWidget *viewport, QPoint position)
{
    QTest::mouseClick(viewport, Qt::LeftButton, {}, position);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, position);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, position);
}

} // namespace pellora::test
