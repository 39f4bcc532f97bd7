#pragma once

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace pellora::ui {

// The fifth page: the programs used instead of the defaults, and the name of
// new items.
class OptionOtherPage final : public QWidget {
    Q_OBJECT
public:
    explicit OptionOtherPage(QWidget *parent = nullptr);

    // What the program buttons offer: every file, since programs carry no
    // extension here.
    static QString executableFilter();

    QGroupBox *fraDefaultFileViewer;
    QLineEdit *txtDefaultFileViewer;
    QPushButton *cmdDefaultFileViewer;
    QGroupBox *fraDefaultFiler;
    QLineEdit *txtDefaultFiler;
    QPushButton *cmdDefaultFiler;
    QCheckBox *chkAddFolderName;
};

} // namespace pellora::ui
