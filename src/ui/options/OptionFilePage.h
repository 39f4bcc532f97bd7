#pragma once

#include <QWidget>

#include <array>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace pellora::ui {

// The third page: what becomes of an archive after its extraction.
class OptionFilePage final : public QWidget {
    Q_OBJECT
public:
    explicit OptionFilePage(QWidget *parent = nullptr);

    // The index (0-3) of the selected option button, -1 when none is.
    int selectedOperation() const;

    // Moving or copying needs the folder group; the folder box and its button
    // only count when the archive does not go into the extraction folder.
    void applyArchiveFolderRules();

    QGroupBox *fraArchiveOperation;
    std::array<QRadioButton *, 4> optArchiveOperation;
    QGroupBox *fraArchiveOperationFolder;
    QLineEdit *txtArchiveOperationFolder;
    QPushButton *cmdArchiveOperationFolder;
    QCheckBox *chkArchiveOperationFolder;

private:
    QButtonGroup *m_operations;
};

} // namespace pellora::ui
