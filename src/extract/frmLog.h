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

    // Shows the text modally; returns when the user closes the window. With
    // the run's id the window offers to undo the run; true when it was undone.
    static bool showReport(const QString &text, const QString &runId = {});

    QPlainTextEdit *txtLog;
    QPushButton *cmdOK;
    QPushButton *cmdUndo;
    QStatusBar *stbLog;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void cmdOK_Click();
    void cmdUndo_Click();
    void layoutButtons();

    QString m_runId;
    bool m_undone = false;
};

} // namespace pellora::extract
