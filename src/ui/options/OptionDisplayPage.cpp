#include "ui/options/OptionDisplayPage.h"

#include "ui/options/OptionLayout.h"

#include <QCheckBox>
#include <QGroupBox>

namespace pellora::ui {

using options::place;

OptionDisplayPage::OptionDisplayPage(QWidget *parent)
    : QWidget(parent)
    , fraListView(new QGroupBox(QStringLiteral("リスト表示"), this))
    , chkListFullRowSelect(new QCheckBox(QStringLiteral("行全体を選択(&R)"), fraListView))
    , chkListGridLines(new QCheckBox(QStringLiteral("アイテム間に境界線を表示(&G)"), fraListView))
    , fraNoDialog(new QGroupBox(QStringLiteral("ダイアログ表示の抑制"), this))
    , chkNoProgress(new QCheckBox(QStringLiteral("解凍状況を表示しない(&P)"), fraNoDialog))
    , chkNoLog(new QCheckBox(QStringLiteral("解凍結果を表示しない(&L)"), fraNoDialog))
    , chkNoRemoveBox(new QCheckBox(QStringLiteral("アイテム削除時に確認しない(&R)"), fraNoDialog))
{
    setObjectName(QStringLiteral("fraOption0"));
    fraListView->setObjectName(QStringLiteral("fraListView"));
    chkListFullRowSelect->setObjectName(QStringLiteral("chkListFullRowSelect"));
    chkListGridLines->setObjectName(QStringLiteral("chkListGridLines"));
    fraNoDialog->setObjectName(QStringLiteral("fraNoDialog"));
    chkNoProgress->setObjectName(QStringLiteral("chkNoProgress"));
    chkNoLog->setObjectName(QStringLiteral("chkNoLog"));
    chkNoRemoveBox->setObjectName(QStringLiteral("chkNoRemoveBox"));

    place(fraListView, 0, 0, 5355, 1020);
    place(chkListFullRowSelect, 180, 330, 4995);
    place(chkListGridLines, 180, 630, 4995);
    place(fraNoDialog, 0, 1200, 5355, 1320);
    place(chkNoProgress, 180, 330, 4995);
    place(chkNoLog, 180, 630, 4995);
    place(chkNoRemoveBox, 180, 930, 4995);
}

} // namespace pellora::ui
