#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;

namespace pellora::platform {

// The program's own read-only viewer for read-me files and the like, used
// when no application is associated with a file. Read-me files of Japanese
// software are mostly Shift_JIS, newer ones UTF-8; the viewer tells them apart.
class TextViewerWindow final : public QWidget {
    Q_OBJECT
public:
    // The most the viewer reads of one file; a larger file shows its start
    // with a note rather than stalling the program on a multi-gigabyte log.
    static constexpr qint64 kMaxBytes = 16 * 1024 * 1024;

    explicit TextViewerWindow(const QString &file, QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QLabel *m_notice;
    QPlainTextEdit *m_text;
};

} // namespace pellora::platform
