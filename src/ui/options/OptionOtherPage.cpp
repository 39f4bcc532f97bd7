#include "ui/options/OptionOtherPage.h"

#include "platform/Pickers.h"
#include "ui/options/OptionLayout.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>

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
    , fraWatchAtLogin(new QGroupBox(QStringLiteral("ログイン時の監視"), this))
    , chkWatchAtLogin(new QCheckBox(QStringLiteral("ログイン時にフォルダの監視を始める(&W)"), fraWatchAtLogin))
    , txtWatchFolder(new QLineEdit(fraWatchAtLogin))
    , cmdWatchFolder(new QPushButton(QStringLiteral("参照..."), fraWatchAtLogin))
{
    setObjectName(QStringLiteral("fraOption4"));
    fraDefaultFileViewer->setObjectName(QStringLiteral("fraDefaultFileViewer"));
    txtDefaultFileViewer->setObjectName(QStringLiteral("txtDefaultFileViewer"));
    cmdDefaultFileViewer->setObjectName(QStringLiteral("cmdDefaultFileViewer"));
    fraDefaultFiler->setObjectName(QStringLiteral("fraDefaultFiler"));
    txtDefaultFiler->setObjectName(QStringLiteral("txtDefaultFiler"));
    cmdDefaultFiler->setObjectName(QStringLiteral("cmdDefaultFiler"));
    chkAddFolderName->setObjectName(QStringLiteral("chkAddFolderName"));
    fraWatchAtLogin->setObjectName(QStringLiteral("fraWatchAtLogin"));
    chkWatchAtLogin->setObjectName(QStringLiteral("chkWatchAtLogin"));
    txtWatchFolder->setObjectName(QStringLiteral("txtWatchFolder"));
    cmdWatchFolder->setObjectName(QStringLiteral("cmdWatchFolder"));
    // An empty box watches what the watch itself takes by default.
    txtWatchFolder->setPlaceholderText(QStandardPaths::writableLocation(QStandardPaths::DownloadLocation));

    place(fraDefaultFileViewer, 0, 0, 5355, 780);
    options::placeBrowseLine(txtDefaultFileViewer, cmdDefaultFileViewer);
    place(fraDefaultFiler, 0, 960, 5355, 780);
    options::placeBrowseLine(txtDefaultFiler, cmdDefaultFiler);
    place(chkAddFolderName, 60, 1920, 5295);
    place(fraWatchAtLogin, 0, 2340, 5355, 1140);
    place(chkWatchAtLogin, 180, 330, 4995);
    place(txtWatchFolder, 120, 660, 3975, 315);
    place(cmdWatchFolder, 4200, 660, 975, 315);

    connect(cmdDefaultFileViewer, &QPushButton::clicked, this, [this] {
        txtDefaultFileViewer->setText(
            platform::SelectExecutable(window(), executableFilter(), txtDefaultFileViewer->text()));
    });
    connect(cmdDefaultFiler, &QPushButton::clicked, this, [this] {
        txtDefaultFiler->setText(platform::SelectExecutable(window(), executableFilter(), txtDefaultFiler->text()));
    });
    connect(chkWatchAtLogin, &QCheckBox::toggled, this, [this] { applyWatchRule(); });
    connect(cmdWatchFolder, &QPushButton::clicked, this,
        [this] { txtWatchFolder->setText(platform::SelectFolder(window(), txtWatchFolder->text())); });
    applyWatchRule();
}

void OptionOtherPage::applyWatchRule()
{
    const bool watching = chkWatchAtLogin->isChecked();
    options::enableTextBox(txtWatchFolder, watching);
    cmdWatchFolder->setEnabled(watching);
}

QString OptionOtherPage::executableFilter()
{
    return QStringLiteral("実行ファイル|*");
}

} // namespace pellora::ui
