#pragma once

#include <QWidget>

class QGroupBox;
class QLabel;
class QSpinBox;

namespace pellora::ui {

// The sixth page: how much of the undo history is kept.
class OptionHistoryPage final : public QWidget {
    Q_OBJECT
public:
    explicit OptionHistoryPage(QWidget *parent = nullptr);

    QGroupBox *fraHistory;
    QLabel *lblHistory;
    QLabel *lblHistoryRuns;
    QSpinBox *spnHistoryRuns;
    QLabel *lblHistoryMegabytes;
    QSpinBox *spnHistoryMegabytes;
};

} // namespace pellora::ui
