#pragma once

#include "platform/gui/Form.h"

#include <QDialog>
#include <QHash>
#include <QString>

#include <array>

class QCheckBox;
class QComboBox;
class QFileSystemModel;
class QGroupBox;
class QLabel;
class QLineEdit;
class QModelIndex;
class QPushButton;
class QRadioButton;
class QTreeView;

namespace pellora::ui {

// Asks where to extract an archive that matches no item. The extract button
// extracts it there once; the add button hands it to the item editor, which
// stores it as a new item and extracts it. The program lives in this dialog
// until it finishes.
class frmMelt final : public platform::Form<QDialog> {
    Q_OBJECT
public:
    explicit frmMelt(QWidget *parent = nullptr);

    // The archive's name as a folder name: cut before its extension (both
    // parts of a compressed tar's), then every trailing decimal digit dropped
    // ("tool123.lzh" -> "tool"); empty when only digits are left.
    static QString ArchiveBaseName(const QString &fileName);

    // The pattern proposed for a new item made from the archive: the name's
    // base with trailing digits dropped (a base of digits only stays whole),
    // "*", then the extension with its dot ("tool123.lzh" -> "tool*.lzh",
    // "foo-1.2.tar.xz" -> "foo-*.tar.xz").
    static QString NewItemPattern(const QString &fileName);

    // The root of the mounted volume that holds path: the longest mount
    // point that is a prefix of it, component by component ("/" at least).
    static QString volumeRoot(const QString &path);

    QLabel *lblTargetFolder;
    QLineEdit *txtTargetFolder;
    QComboBox *drvMelt;
    QTreeView *dirMelt;
    QPushButton *cmdMelt;
    QPushButton *cmdCancel;
    QPushButton *cmdAdd;
    QGroupBox *frmMeltOption;
    QCheckBox *chkRunExplorer;
    // The encoding of the archive's names, for this extraction or the new item.
    QLabel *lblEncoding;
    QComboBox *cboEncoding;
    QGroupBox *fraArchiveOperation;
    std::array<QRadioButton *, 4> optArchiveOperation;

    // The folder the folder list shows (its current folder), without a
    // trailing separator.
    QString shownFolder() const;

protected:
    void Form_Load() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void dirMelt_Click(const QModelIndex &index);
    void drvMelt_Change();
    void cmdMelt_Click();
    void cmdAdd_Click();
    void cmdCancel_Click();

    // Roots the folder list at root and makes folder (on that volume) its
    // current folder, expanded and selected.
    void showFolder(const QString &folder, const QString &root);
    // Shows root in the drive list without raising its change event.
    void selectVolume(const QString &root);

    QFileSystemModel *m_folders;
    // The volume the drive list shows and the folder list is rooted at.
    QString m_currentVolume;
    // The folder last shown on each volume: Linux keeps no current folder per
    // volume, so a volume picked again opens where the user left it.
    QHash<QString, QString> m_volumeFolder;
    // Set while the program itself moves the folder list, whose selection
    // changes must then not overwrite the target text.
    bool m_showingFolder = false;
    // The folder to keep in view until the list has been filled around it.
    QString m_folderToReveal;
};

} // namespace pellora::ui
