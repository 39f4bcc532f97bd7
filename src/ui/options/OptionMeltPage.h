#pragma once

#include <QWidget>

class QCheckBox;
class QGroupBox;

namespace pellora::ui {

// The second page: what happens around an extraction.
class OptionMeltPage final : public QWidget {
    Q_OBJECT
public:
    explicit OptionMeltPage(QWidget *parent = nullptr);

    QGroupBox *fraMeltOption;
    QCheckBox *chkRunExplorer;
    QCheckBox *chkIgnoreTimeStamp;
    QCheckBox *chkIgnoreDamagedHeader;
    QCheckBox *chkNoSymlinks;
};

} // namespace pellora::ui
