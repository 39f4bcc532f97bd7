#pragma once

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace pellora::ui {

// The fourth page: the folders proposed for new items and unmatched archives.
class OptionFolderPage final : public QWidget {
    Q_OBJECT
public:
    explicit OptionFolderPage(QWidget *parent = nullptr);

    // The default target folder only counts while the archive's own folder
    // is not the default.
    void applyDefaultFolderRule();

    QGroupBox *fraDefaultItemFolder;
    QLineEdit *txtDefaultItemFolder;
    QPushButton *cmdDefaultItemFolder;
    QGroupBox *fraDefaultMeltFolder;
    QLineEdit *txtDefaultMeltFolder;
    QPushButton *cmdDefaultMeltFolder;
    QCheckBox *chkDefaultArchiveFolder;
    QCheckBox *chkAddArchiveName;
};

} // namespace pellora::ui
