#include "ui/options/OptionFilePage.h"

#include "platform/Pickers.h"
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
    , optArchiveOperation{
          new QRadioButton(QStringLiteral("何もしない(&N)"), fraArchiveOperation),
          new QRadioButton(QStringLiteral("ゴミ箱に移動(&D)"), fraArchiveOperation),
          new QRadioButton(QStringLiteral("指定のフォルダに移動(&M)"), fraArchiveOperation),
          new QRadioButton(QStringLiteral("指定のフォルダにコピー(&C)"), fraArchiveOperation),
      }
    , fraArchiveOperationFolder(new QGroupBox(QStringLiteral("圧縮ファイルの移動/コピー先フォルダ"), this))
    , txtArchiveOperationFolder(new QLineEdit(fraArchiveOperationFolder))
    , cmdArchiveOperationFolder(new QPushButton(QStringLiteral("参照..."), fraArchiveOperationFolder))
    , chkArchiveOperationFolder(new QCheckBox(QStringLiteral("解凍先フォルダに移動/コピーする(&E)"), fraArchiveOperationFolder))
    , m_operations(new QButtonGroup(this))
{
    setObjectName(QStringLiteral("fraOption2"));
    fraArchiveOperation->setObjectName(QStringLiteral("fraArchiveOperation"));
    fraArchiveOperationFolder->setObjectName(QStringLiteral("fraArchiveOperationFolder"));
    txtArchiveOperationFolder->setObjectName(QStringLiteral("txtArchiveOperationFolder"));
    cmdArchiveOperationFolder->setObjectName(QStringLiteral("cmdArchiveOperationFolder"));
    chkArchiveOperationFolder->setObjectName(QStringLiteral("chkArchiveOperationFolder"));

    place(fraArchiveOperation, 0, 0, 5355, 1500);
    for (int index = 0; index < int(optArchiveOperation.size()); ++index) {
        QRadioButton *option = optArchiveOperation[index];
        option->setObjectName(QStringLiteral("optArchiveOperation%1").arg(index));
        place(option, 180, 300 + index * 285, 4995);
        m_operations->addButton(option, index);
    }
    place(fraArchiveOperationFolder, 0, 1680, 5355, 1140);
    options::placeBrowseLine(txtArchiveOperationFolder, cmdArchiveOperationFolder);
    place(chkArchiveOperationFolder, 180, 720, 4995);

    connect(m_operations, &QButtonGroup::idClicked, this, [this] { applyArchiveFolderRules(); });
    connect(chkArchiveOperationFolder, &QCheckBox::clicked, this, [this] { applyArchiveFolderRules(); });
    connect(cmdArchiveOperationFolder, &QPushButton::clicked, this, [this] {
        txtArchiveOperationFolder->setText(platform::SelectFolder(window(), txtArchiveOperationFolder->text()));
    });
}

int OptionFilePage::selectedOperation() const { return m_operations->checkedId(); }

void OptionFilePage::selectOperation(int index)
{
    // A stored number outside the buttons names none of them: do nothing,
    // the first, is the harmless choice.
    if (index < 0 || index >= int(optArchiveOperation.size()))
        index = 0;
    optArchiveOperation[index]->setChecked(true);
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
