#pragma once

#include "core/ItemOptions.h"
#include "platform/gui/Form.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace pellora::ui {

// The item editor: the four texts of one item (software name, file pattern,
// related file, target folder). Its result goes straight into the rows of the
// main window's list: a new row when core::gblnAddMode or
// core::gblnAddFromArchive is set, else the selected row. Opened for the
// archive of core::CurrentItem (core::gblnAddFromArchive), it also extracts
// that archive into the new item's folder.
//
// The openers fill the boxes, set cmdRelation and the caption before showing
// it, so the controls are public.
class frmItem final : public platform::Form<QDialog> {
    Q_OBJECT
public:
    explicit frmItem(QWidget *parent = nullptr);

    QGroupBox *fraItem;
    QLabel *lblName;
    QLineEdit *txtName;
    QLabel *lblPattern;
    QLineEdit *txtPattern;
    QLabel *lblRelation;
    QLineEdit *txtRelation;
    QPushButton *cmdRelation;
    QLabel *lblFolder;
    QLineEdit *txtFolder;
    QPushButton *cmdFolder;
    // The item's options, under the four texts.
    QLabel *lblEncoding;
    QComboBox *cboEncoding;
    QCheckBox *chkStripTop;
    QPushButton *cmdOK;
    QPushButton *cmdCancel;
    QPushButton *cmdHelp;

    // The options the section shows; the openers set them with the texts.
    core::ItemOptions itemOptions() const;
    void setItemOptions(const core::ItemOptions &options);

    // The help's main page, set at load.
    QString helpFile() const { return m_helpFile; }

protected:
    void Form_Load() override;
    void Form_Unload(bool &cancel) override;
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void Form_Activate();
    void txtFolder_Change();
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdFolder_Click();
    void cmdRelation_Click();
    void cmdHelp_Click();

    // The first check of the input that fails, as its message; empty when
    // every field is acceptable.
    QString firstInputError() const;
    void storeInMainList();
    void centreOnOwner();

    QString m_helpFile;
    // Options of a later version the section does not show, kept for the save.
    QJsonObject m_unknownOptions;
    bool m_placed = false;
};

} // namespace pellora::ui
