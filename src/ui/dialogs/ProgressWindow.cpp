#include "ui/dialogs/ProgressWindow.h"

#include "platform/archiver/Report.h"

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

namespace pellora::ui {

namespace {
int permille(qint64 done, qint64 total)
{
    return total > 0 ? int(std::clamp<qint64>(done * 1000 / total, 0, 1000)) : 0;
}

bool isUserInput(const QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::InputMethod:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

// Keeps every window that was there when a run began from taking input until
// it ends, from its first moment and not only once the progress window shows:
// a second Enter or double-click in the match chooser, a command in the item
// list, would start a second extraction inside the first, on a window that
// the first one closes and deletes when it returns. Windows opened during the
// run (the progress window) are left alone, so its cancel button works.
class InputBlocker final : public QObject {
public:
    InputBlocker()
    {
        for (QWidget *window : QApplication::topLevelWidgets())
            m_blocked.append(window);
        qApp->installEventFilter(this);
    }
    ~InputBlocker() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // A close box pressed on the system's side; closing by the program passes.
        const bool userClose = event->type() == QEvent::Close && event->spontaneous();
        if (!userClose && !isUserInput(event))
            return false;
        const auto *widget = qobject_cast<const QWidget *>(watched);
        const auto *handle = qobject_cast<const QWindow *>(watched);
        if (!widget && !handle)
            return true; // a shortcut or action of some window: no command now
        for (const QPointer<QWidget> &blocked : m_blocked) {
            if (blocked && (widget ? widget->window() == blocked : blocked->windowHandle() == handle))
                return true;
        }
        return false;
    }

private:
    QList<QPointer<QWidget>> m_blocked;
};
} // namespace

ProgressWindow::ProgressWindow(QWidget *owner, arc::ProgressState &state)
    : QDialog(owner)
    , m_state(state)
    , m_entry(new QLabel(this))
    , m_bytes(new QLabel(this))
    , m_entryBar(new QProgressBar(this))
    , m_totalBar(new QProgressBar(this))
    , m_cancel(new QPushButton(QStringLiteral("キャンセル"), this))
{
    setObjectName(QStringLiteral("ProgressWindow"));
    setWindowTitle(QStringLiteral("解凍中"));
    setModal(true);
    m_entry->setTextFormat(Qt::PlainText);
    m_entry->setMinimumWidth(360);
    m_entry->setWordWrap(true);
    m_entryBar->setRange(0, 1000);
    m_totalBar->setRange(0, 1000);
    m_entryBar->setTextVisible(false);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_entry);
    layout->addWidget(m_entryBar);
    layout->addWidget(m_bytes);
    layout->addWidget(m_totalBar);
    layout->addWidget(m_cancel, 0, Qt::AlignRight);
    connect(m_cancel, &QPushButton::clicked, this, &ProgressWindow::cancelRun);
    refresh();
}

void ProgressWindow::refresh()
{
    const auto s = m_state.snapshot();
    m_entry->setText(s.entry);
    m_entryBar->setValue(permille(s.entryBytes, s.entrySize));
    m_totalBar->setValue(permille(s.archiveRead, s.archiveSize));
    m_bytes->setText(
        QStringLiteral("%1 / %2 バイト (合計 %3 バイト)")
            .arg(arc::groupedNumber(s.entryBytes), arc::groupedNumber(s.entrySize), arc::groupedNumber(s.totalBytes)));
}

void ProgressWindow::reject()
{
    cancelRun();
}

void ProgressWindow::cancelRun()
{
    m_state.requestCancel();
    m_cancel->setEnabled(false);
    m_cancel->setText(QStringLiteral("中止しています..."));
}

ProgressWindowHost::ProgressWindowHost(int showDelayMs)
    : m_showDelayMs(showDelayMs)
{
}

void ProgressWindowHost::run(QObject *owner, arc::ProgressState &state, const std::function<void()> &work)
{
    const InputBlocker noSecondCommand;
    QThread *thread = QThread::create(work);
    ProgressWindow window(qobject_cast<QWidget *>(owner), state);
    QEventLoop loop;
    QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit);

    QTimer refresh;
    refresh.setInterval(100);
    QObject::connect(&refresh, &QTimer::timeout, &window, &ProgressWindow::refresh);
    QTimer::singleShot(m_showDelayMs, &window, [&] {
        if (!thread->isFinished()) {
            window.show();
            refresh.start();
        }
    });

    thread->start();
    if (!thread->isFinished())
        loop.exec(QEventLoop::ExcludeSocketNotifiers);
    thread->wait();
    delete thread;
}

} // namespace pellora::ui
