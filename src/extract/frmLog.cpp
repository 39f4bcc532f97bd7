#include "extract/frmLog.h"

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

    const int statusHeight = stbLog->sizeHint().height();
    resize(twips(6015), twips(3690) + statusHeight);
    cmdOK->setFocus();
}

void frmLog::showReport(const QString &text)
{
    frmLog &window = platform::formInstance<frmLog>();
    window.txtLog->setPlainText(text);
    platform::centreOnOwner(&window, nullptr);
    window.Show(platform::vbModal);
}

void frmLog::cmdOK_Click()
{
    Unload();
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
    cmdOK->move((w - cmdOK->width()) / 2, h - twips(400));
}

} // namespace pellora::extract
