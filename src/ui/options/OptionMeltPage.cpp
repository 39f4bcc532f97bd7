#include "ui/options/OptionMeltPage.h"

#include "ui/options/OptionLayout.h"

#include <QCheckBox>
#include <QGroupBox>

namespace pellora::ui {

using options::place;

OptionMeltPage::OptionMeltPage(QWidget *parent)
    : QWidget(parent)
    , fraMeltOption(new QGroupBox(QStringLiteral("解凍オプション"), this))
    , chkRunExplorer(new QCheckBox(QStringLiteral("解凍後にエクスプローラを自動起動する(&E)"), fraMeltOption))
    , chkIgnoreTimeStamp(new QCheckBox(QStringLiteral("日付に関係なく強制的に解凍する(&T)"), fraMeltOption))
    , chkIgnoreDamagedHeader(new QCheckBox(QStringLiteral("破損ヘッダを無視する(&H) *LZHのみ"), fraMeltOption))
    , chkNoSymlinks(new QCheckBox(QStringLiteral("シンボリックリンクを作成しない(&L) *tarのみ"), fraMeltOption))
{
    setObjectName(QStringLiteral("fraOption1"));
    fraMeltOption->setObjectName(QStringLiteral("fraMeltOption"));
    chkRunExplorer->setObjectName(QStringLiteral("chkRunExplorer"));
    chkIgnoreTimeStamp->setObjectName(QStringLiteral("chkIgnoreTimeStamp"));
    chkIgnoreDamagedHeader->setObjectName(QStringLiteral("chkIgnoreDamagedHeader"));
    chkNoSymlinks->setObjectName(QStringLiteral("chkNoSymlinks"));

    place(fraMeltOption, 0, 0, 5355, 1620);
    place(chkRunExplorer, 180, 330, 4995);
    place(chkIgnoreTimeStamp, 180, 630, 4995);
    place(chkIgnoreDamagedHeader, 180, 930, 4995);
    place(chkNoSymlinks, 180, 1230, 4995);
}

} // namespace pellora::ui
