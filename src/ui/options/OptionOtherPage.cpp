#include "ui/options/OptionOtherPage.h"

#include "platform/Pickers.h"
#include "ui/options/OptionLayout.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

namespace pellora::ui {

using options::place;

OptionOtherPage::OptionOtherPage(QWidget *parent)
    : QWidget(parent)
    , fraDefaultFileViewer(new QGroupBox(QStringLiteral("関連付けされていないファイルを開くアプリケーション"), this))
    , txtDefaultFileViewer(new QLineEdit(fraDefaultFileViewer))
    , cmdDefaultFileViewer(new QPushButton(QStringLiteral("参照..."), fraDefaultFileViewer))
    , fraDefaultFiler(new QGroupBox(QStringLiteral("エクスプローラの代わりに別のファイラを使う"), this))
    , txtDefaultFiler(new QLineEdit(fraDefaultFiler))
    , cmdDefaultFiler(new QPushButton(QStringLiteral("参照..."), fraDefaultFiler))
    , chkAddFolderName(new QCheckBox(QStringLiteral("アイテム追加時にフォルダ名をソフト名にする(&N)"), this))
{
    setObjectName(QStringLiteral("fraOption4"));
    fraDefaultFileViewer->setObjectName(QStringLiteral("fraDefaultFileViewer"));
    txtDefaultFileViewer->setObjectName(QStringLiteral("txtDefaultFileViewer"));
    cmdDefaultFileViewer->setObjectName(QStringLiteral("cmdDefaultFileViewer"));
    fraDefaultFiler->setObjectName(QStringLiteral("fraDefaultFiler"));
    txtDefaultFiler->setObjectName(QStringLiteral("txtDefaultFiler"));
    cmdDefaultFiler->setObjectName(QStringLiteral("cmdDefaultFiler"));
    chkAddFolderName->setObjectName(QStringLiteral("chkAddFolderName"));

    place(fraDefaultFileViewer, 0, 0, 5355, 780);
    options::placeBrowseLine(txtDefaultFileViewer, cmdDefaultFileViewer);
    place(fraDefaultFiler, 0, 960, 5355, 780);
    options::placeBrowseLine(txtDefaultFiler, cmdDefaultFiler);
    place(chkAddFolderName, 60, 1920, 5295);

    connect(cmdDefaultFileViewer, &QPushButton::clicked, this, [this] {
        txtDefaultFileViewer->setText(
            platform::SelectExecutable(window(), executableFilter(), txtDefaultFileViewer->text()));
    });
    connect(cmdDefaultFiler, &QPushButton::clicked, this, [this] {
        txtDefaultFiler->setText(platform::SelectExecutable(window(), executableFilter(), txtDefaultFiler->text()));
    });
}

QString OptionOtherPage::executableFilter()
{
    return QStringLiteral("実行ファイル|*");
}

} // namespace pellora::ui
