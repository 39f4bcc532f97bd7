#include "ui/dialogs/NameEncodingBox.h"

#include "platform/archiver/EntryName.h"

#include <QComboBox>

namespace pellora::ui {

void fillNameEncodings(QComboBox *box)
{
    box->clear();
    box->addItem(QStringLiteral("自動"), QString());
    for (const QString &encoding : arc::nameEncodings()) {
        QString shown = encoding;
        if (encoding == u"CP932")
            shown = QStringLiteral("Shift_JIS (CP932)");
        else if (encoding == u"BIG5")
            shown = QStringLiteral("Big5");
        box->addItem(shown, encoding);
    }
}

void chooseNameEncoding(QComboBox *box, const QString &encoding)
{
    int index = box->findData(encoding);
    if (index < 0) {
        box->addItem(encoding, encoding);
        index = box->count() - 1;
    }
    box->setCurrentIndex(index);
}

QString chosenNameEncoding(const QComboBox *box)
{
    return box->currentData().toString();
}

} // namespace pellora::ui
