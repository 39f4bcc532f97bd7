#pragma once

#include <QWidget>

class QCheckBox;
class QGroupBox;

namespace pellora::ui {

// The first page: how the main list looks and which dialogs stay away.
class OptionDisplayPage final : public QWidget {
    Q_OBJECT
public:
    explicit OptionDisplayPage(QWidget *parent = nullptr);

    QGroupBox *fraListView;
    QCheckBox *chkListFullRowSelect;
    QCheckBox *chkListGridLines;
    QGroupBox *fraNoDialog;
    QCheckBox *chkNoProgress;
    QCheckBox *chkNoLog;
    QCheckBox *chkNoRemoveBox;
};

} // namespace pellora::ui
