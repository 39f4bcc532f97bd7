#pragma once

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPoint>

#include <functional>

namespace pellora::platform {

// A list (QTableView or QTableWidget) that raises its events the way the
// choosers' handlers expect them: a click on a row (press and release on the
// same row, any button) comes before the release itself, so the release
// handler knows whether it ends a click on a row. Every handler must be set
// before the list takes input.
template <typename View> class RowClickList final : public View {
public:
    using View::View;

    std::function<void()> ItemClick;
    std::function<void()> MouseMove;
    std::function<void()> DblClick;
    std::function<void(Qt::MouseButton, QPoint)> MouseUp;
    std::function<void(int)> KeyPress;

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        m_pressedRow = this->rowAt(event->position().toPoint().y());
        View::mousePressEvent(event);
    }

    void mouseReleaseEvent(QMouseEvent *event) override
    {
        const QPoint position = event->position().toPoint();
        const bool rowClicked = m_pressedRow >= 0 && this->rowAt(position.y()) == m_pressedRow;
        m_pressedRow = -1;
        View::mouseReleaseEvent(event);
        if (rowClicked)
            ItemClick();
        MouseUp(event->button(), position);
    }

    void mouseMoveEvent(QMouseEvent *event) override
    {
        View::mouseMoveEvent(event);
        MouseMove();
    }

    void mouseDoubleClickEvent(QMouseEvent *event) override
    {
        View::mouseDoubleClickEvent(event);
        // The release that ends a double-click is not another click.
        m_pressedRow = -1;
        if (event->button() == Qt::LeftButton)
            DblClick();
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        if (!event->text().isEmpty())
            KeyPress(event->text().at(0).unicode());
        View::keyPressEvent(event);
    }

private:
    int m_pressedRow = -1;
};

inline constexpr int kKeyReturn = 13;
inline constexpr int kKeyEscape = 27;

// The key codes the choosers' windows react to, as the keyboard reports them:
// Return and Enter are kKeyReturn, Escape kKeyEscape, any other key its Qt::Key.
inline int chooserKeyCode(const QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        return kKeyEscape;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return kKeyReturn;
    default:
        return event->key();
    }
}

} // namespace pellora::platform
