#include "ui/dialogs/ArchiveOperationButtons.h"

#include "core/modRegistry.h"
#include "platform/gui/Twips.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QRadioButton>

namespace pellora::ui {

std::array<QRadioButton *, 4> makeArchiveOperationButtons(QGroupBox *frame)
{
    return {
        new QRadioButton(QStringLiteral("何もしない(&N)"), frame),
        new QRadioButton(QStringLiteral("ゴミ箱に移動(&D)"), frame),
        new QRadioButton(QStringLiteral("指定のフォルダに移動(&M)"), frame),
        new QRadioButton(QStringLiteral("指定のフォルダにコピー(&C)"), frame),
    };
}

void arrangeArchiveOperationButtons(
    const std::array<QRadioButton *, 4> &buttons, QButtonGroup *group, int left, int width)
{
    for (int index = 0; index < int(buttons.size()); ++index) {
        QRadioButton *option = buttons[index];
        option->setObjectName(QStringLiteral("optArchiveOperation%1").arg(index));
        platform::place(option, left, 300 + index * 285, width);
        group->addButton(option, index);
    }
}

int storedArchiveOperation()
{
    const int operation = core::readNumber(core::setting(u"ArchiveOperation"));
    return operation >= 0 && operation < 4 ? operation : 0;
}

} // namespace pellora::ui
