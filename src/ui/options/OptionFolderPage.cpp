#include "ui/options/OptionFolderPage.h"

#include "platform/Pickers.h"
#include "ui/options/OptionLayout.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

namespace pellora::ui {

using options::place;

OptionFolderPage::OptionFolderPage(QWidget *parent)
    : QWidget(parent)
    , fraDefaultItemFolder(new QGroupBox(QStringLiteral("アイテム追加時のデフォルトフォルダ"), this))
    , txtDefaultItemFolder(new QLineEdit(fraDefaultItemFolder))
    , cmdDefaultItemFolder(new QPushButton(QStringLiteral("参照..."), fraDefaultItemFolder))
    , fraDefaultMeltFolder(new QGroupBox(QStringLiteral("マッチしなかったときの解凍先のデフォルトフォルダ"), this))
    , txtDefaultMeltFolder(new QLineEdit(fraDefaultMeltFolder))
    , cmdDefaultMeltFolder(new QPushButton(QStringLiteral("参照..."), fraDefaultMeltFolder))
    , chkDefaultArchiveFolder(
          new QCheckBox(QStringLiteral("圧縮ファイルが存在するフォルダをデフォルトにする(&A)"), fraDefaultMeltFolder))
    , chkAddArchiveName(
          new QCheckBox(QStringLiteral("末尾の数字を除いた圧縮ファイル名を付加する(&F)"), fraDefaultMeltFolder))
{
    setObjectName(QStringLiteral("fraOption3"));
    fraDefaultItemFolder->setObjectName(QStringLiteral("fraDefaultItemFolder"));
    txtDefaultItemFolder->setObjectName(QStringLiteral("txtDefaultItemFolder"));
    cmdDefaultItemFolder->setObjectName(QStringLiteral("cmdDefaultItemFolder"));
    fraDefaultMeltFolder->setObjectName(QStringLiteral("fraDefaultMeltFolder"));
    txtDefaultMeltFolder->setObjectName(QStringLiteral("txtDefaultMeltFolder"));
    cmdDefaultMeltFolder->setObjectName(QStringLiteral("cmdDefaultMeltFolder"));
    chkDefaultArchiveFolder->setObjectName(QStringLiteral("chkDefaultArchiveFolder"));
    chkAddArchiveName->setObjectName(QStringLiteral("chkAddArchiveName"));

    place(fraDefaultItemFolder, 0, 0, 5355, 780);
    options::placeBrowseLine(txtDefaultItemFolder, cmdDefaultItemFolder);
    place(fraDefaultMeltFolder, 0, 960, 5355, 1380);
    options::placeBrowseLine(txtDefaultMeltFolder, cmdDefaultMeltFolder);
    place(chkDefaultArchiveFolder, 180, 720, 4995);
    place(chkAddArchiveName, 180, 1020, 4995);

    connect(chkDefaultArchiveFolder, &QCheckBox::clicked, this, [this] { applyDefaultFolderRule(); });
    connect(cmdDefaultItemFolder, &QPushButton::clicked, this,
        [this] { txtDefaultItemFolder->setText(platform::SelectFolder(window(), txtDefaultItemFolder->text())); });
    connect(cmdDefaultMeltFolder, &QPushButton::clicked, this,
        [this] { txtDefaultMeltFolder->setText(platform::SelectFolder(window(), txtDefaultMeltFolder->text())); });
}

void OptionFolderPage::applyDefaultFolderRule()
{
    const bool own = !chkDefaultArchiveFolder->isChecked();
    options::enableTextBox(txtDefaultMeltFolder, own);
    cmdDefaultMeltFolder->setEnabled(own);
}

} // namespace pellora::ui
