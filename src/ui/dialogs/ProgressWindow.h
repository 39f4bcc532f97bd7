#pragma once

#include "platform/archiver/Progress.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace pellora::ui {

// The window an archiver shows while it extracts: the current entry, the
// bytes done, and a button that stops the run after the current entry.
class ProgressWindow final : public QDialog {
    Q_OBJECT
public:
    ProgressWindow(QWidget *owner, arc::ProgressState &state);

    void refresh();

protected:
    void reject() override; // Esc and the close box cancel, like the button

private:
    void cancelRun();

    arc::ProgressState &m_state;
    QLabel *m_entry;
    QLabel *m_bytes;
    QProgressBar *m_entryBar;
    QProgressBar *m_totalBar;
    QPushButton *m_cancel;
};

// Installed by the program at start: runs each extraction on a worker thread
// and waits in a local event loop, so the user interface keeps painting and
// the cancel button works while the caller stays blocked.
class ProgressWindowHost final : public arc::ProgressHost {
public:
    // How long a run may take before the window appears, so that small
    // archives do not flash a window.
    explicit ProgressWindowHost(int showDelayMs = 300);

    void run(QObject *owner, arc::ProgressState &state, const std::function<void()> &work) override;

private:
    int m_showDelayMs;
};

} // namespace pellora::ui
