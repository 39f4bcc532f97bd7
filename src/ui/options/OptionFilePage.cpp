#include "ui/options/OptionFilePage.h"

#include "platform/Pickers.h"
#include "ui/dialogs/ArchiveOperationButtons.h"
#include "ui/options/OptionLayout.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace pellora::ui {

using options::place;

OptionFilePage::OptionFilePage(QWidget *parent)
    : QWidget(parent)
    , fraArchiveOperation(new QGroupBox(QStringLiteral("解凍後の圧縮ファイル処理"), this))
    , optArchiveOperation(makeArchiveOperationButtons(fraArchiveOperation))
    , fraArchiveOperationFolder(new QGroupBox(QStringLiteral("圧縮ファイルの移動/コピー先フォルダ"), this))
    , txtArchiveOperationFolder(new QLineEdit(fraArchiveOperationFolder))
    , cmdArchiveOperationFolder(new QPushButton(QStringLiteral("参照..."), fraArchiveOperationFolder))
    , chkArchiveOperationFolder(
          new QCheckBox(QStringLiteral("解凍先フォルダに移動/コピーする(&E)"), fraArchiveOperationFolder))
    , m_operations(new QButtonGroup(this))
{
    setObjectName(QStringLiteral("fraOption2"));
    fraArchiveOperation->setObjectName(QStringLiteral("fraArchiveOperation"));
    fraArchiveOperationFolder->setObjectName(QStringLiteral("fraArchiveOperationFolder"));
    txtArchiveOperationFolder->setObjectName(QStringLiteral("txtArchiveOperationFolder"));
    cmdArchiveOperationFolder->setObjectName(QStringLiteral("cmdArchiveOperationFolder"));
    chkArchiveOperationFolder->setObjectName(QStringLiteral("chkArchiveOperationFolder"));

    place(fraArchiveOperation, 0, 0, 5355, 1500);
    arrangeArchiveOperationButtons(optArchiveOperation, m_operations, 180, 4995);
    place(fraArchiveOperationFolder, 0, 1680, 5355, 1140);
    options::placeBrowseLine(txtArchiveOperationFolder, cmdArchiveOperationFolder);
    place(chkArchiveOperationFolder, 180, 720, 4995);

    connect(m_operations, &QButtonGroup::idClicked, this, [this] { applyArchiveFolderRules(); });
    connect(chkArchiveOperationFolder, &QCheckBox::clicked, this, [this] { applyArchiveFolderRules(); });
    connect(cmdArchiveOperationFolder, &QPushButton::clicked, this, [this] {
        txtArchiveOperationFolder->setText(platform::SelectFolder(window(), txtArchiveOperationFolder->text()));
    });
}

int OptionFilePage::selectedOperation() const
{
    return m_operations->checkedId();
}

void OptionFilePage::applyArchiveFolderRules()
{
    const int operation = selectedOperation();
    const bool toFolder = operation == 2 || operation == 3;
    fraArchiveOperationFolder->setEnabled(toFolder);
    chkArchiveOperationFolder->setEnabled(toFolder);
    const bool ownFolder = toFolder && !chkArchiveOperationFolder->isChecked();
    options::enableTextBox(txtArchiveOperationFolder, ownFolder);
    cmdArchiveOperationFolder->setEnabled(ownFolder);
}

} // namespace pellora::ui
