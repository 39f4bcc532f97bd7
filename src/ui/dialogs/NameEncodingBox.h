#pragma once

#include <QString>

class QComboBox;

namespace pellora::ui {

// The choice of the encoding an item's archives name their entries in, as
// the item editor and the unmatched-archive dialog offer it: 自動 first, then
// each encoding the archiver knows.
void fillNameEncodings(QComboBox *box);

// Selects encoding ("" for 自動). One the list does not hold (written by a
// later version) is added as it is, so saving the item keeps it.
void chooseNameEncoding(QComboBox *box, const QString &encoding);

// The encoding chosen, as the archiver spells it; "" for 自動.
QString chosenNameEncoding(const QComboBox *box);

} // namespace pellora::ui
