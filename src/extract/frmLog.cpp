#include "extract/frmLog.h"

#include "extract/UndoPrompt.h"
#include "platform/gui/Placement.h"
#include "platform/gui/Twips.h"

#include <QFont>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>

namespace pellora::extract {

using platform::twips;

frmLog::frmLog(QWidget *parent)
    : Form(parent)
    , txtLog(new QPlainTextEdit(this))
    , cmdOK(new QPushButton(QStringLiteral("OK"), this))
    , cmdUndo(new QPushButton(QStringLiteral("元に戻す(&U)"), this))
    , stbLog(new QStatusBar(this))
{
    setObjectName(QStringLiteral("frmLog"));
    setWindowTitle(QStringLiteral("解凍結果"));
    setWindowFlags(Qt::Window | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);
    stbLog->setSizeGripEnabled(true);

    txtLog->setReadOnly(true);
    txtLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtLog->setBackgroundRole(QPalette::Button);
    QPalette palette = txtLog->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    txtLog->setPalette(palette);
    QFont font(QStringLiteral("ＭＳ ゴシック"), 9);
    font.setStyleHint(QFont::Monospace);
    txtLog->setFont(font);
    txtLog->setGeometry(twips(120), twips(180), twips(5775), twips(3015));

    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);
    cmdOK->setGeometry(twips(2340), twips(3300), twips(1335), twips(315));
    connect(cmdOK, &QPushButton::clicked, this, &frmLog::cmdOK_Click);
    cmdUndo->setAutoDefault(false);
    cmdUndo->resize(twips(1335), twips(315));
    cmdUndo->hide();
    connect(cmdUndo, &QPushButton::clicked, this, &frmLog::cmdUndo_Click);

    const int statusHeight = stbLog->sizeHint().height();
    resize(twips(6015), twips(3690) + statusHeight);
    cmdOK->setFocus();
}

bool frmLog::showReport(const QString &text, const QString &runId)
{
    frmLog &window = platform::formInstance<frmLog>();
    window.txtLog->setPlainText(text);
    window.m_runId = runId;
    window.m_undone = false;
    window.cmdUndo->setVisible(!runId.isEmpty());
    window.cmdUndo->setEnabled(true);
    window.layoutButtons();
    platform::centreOnOwner(&window, nullptr);
    window.Show(platform::vbModal);
    return window.m_undone;
}

void frmLog::cmdOK_Click()
{
    Unload();
}

void frmLog::cmdUndo_Click()
{
    m_undone = confirmAndUndoRun(m_runId);
    // One undo per run: a second would find the run gone or refuse it.
    cmdUndo->setEnabled(!m_undone);
}

void frmLog::layoutButtons()
{
    const int h = height() - stbLog->sizeHint().height();
    const int y = h - twips(400);
    if (cmdUndo->isHidden()) {
        cmdOK->move((width() - cmdOK->width()) / 2, y);
        return;
    }
    const int gap = twips(120);
    const int left = (width() - cmdOK->width() - gap - cmdUndo->width()) / 2;
    cmdOK->move(left, y);
    cmdUndo->move(left + cmdOK->width() + gap, y);
}

void frmLog::resizeEvent(QResizeEvent *event)
{
    Form::resizeEvent(event);
    const int statusHeight = stbLog->sizeHint().height();
    const int w = width();
    const int h = height() - statusHeight;
    stbLog->setGeometry(0, h, w, statusHeight);
    const int margin = txtLog->x();
    txtLog->resize(qMax(0, w - 2 * margin), qMax(0, h - twips(700)));
    layoutButtons();
}

} // namespace pellora::extract
