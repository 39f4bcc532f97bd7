#pragma once

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace pellora::ui {

// The fifth page: the programs used instead of the defaults, the name of new
// items, and the download watch started at login.
class OptionOtherPage final : public QWidget {
    Q_OBJECT
public:
    explicit OptionOtherPage(QWidget *parent = nullptr);

    // What the program buttons offer: every file, since programs carry no
    // extension here.
    static QString executableFilter();

    // The watched folder counts only while the watch is started at login.
    void applyWatchRule();

    QGroupBox *fraDefaultFileViewer;
    QLineEdit *txtDefaultFileViewer;
    QPushButton *cmdDefaultFileViewer;
    QGroupBox *fraDefaultFiler;
    QLineEdit *txtDefaultFiler;
    QPushButton *cmdDefaultFiler;
    QCheckBox *chkAddFolderName;
    QGroupBox *fraWatchAtLogin;
    QCheckBox *chkWatchAtLogin;
    QLineEdit *txtWatchFolder;
    QPushButton *cmdWatchFolder;
};

} // namespace pellora::ui
