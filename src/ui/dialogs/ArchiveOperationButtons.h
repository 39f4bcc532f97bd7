#pragma once

#include <array>

class QButtonGroup;
class QGroupBox;
class QRadioButton;

namespace pellora::ui {

// The four choices for the archive after an extraction, in the order of the
// stored "ArchiveOperation" number; both the unmatched-archive dialog and the
// options dialog offer them.
std::array<QRadioButton *, 4> makeArchiveOperationButtons(QGroupBox *frame);

// Stacks the buttons in their frame from the design column left (twips) and
// puts them in group with their index as id, so exactly one is on and the
// arrow keys move between them.
void arrangeArchiveOperationButtons(
    const std::array<QRadioButton *, 4> &buttons, QButtonGroup *group, int left, int width);

// The stored choice. A number no button stands for (a hand-edited file) is
// the first, doing nothing, so one button is always on and "OK" stores a
// valid choice.
int storedArchiveOperation();

} // namespace pellora::ui
