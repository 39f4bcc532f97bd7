#pragma once

#include "platform/gui/Form.h"

#include <QDialog>

class QPlainTextEdit;
class QPushButton;
class QStatusBar;

namespace pellora::extract {

// The extraction result: the library's report after a complete extraction.
class frmLog final : public platform::Form<QDialog> {
    Q_OBJECT
public:
    explicit frmLog(QWidget *parent = nullptr);

    // Shows the text modally; returns when the user closes the window.
    static void showReport(const QString &text);

    QPlainTextEdit *txtLog;
    QPushButton *cmdOK;
    QStatusBar *stbLog;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void cmdOK_Click();
};

} // namespace pellora::extract
