#pragma once

#include "platform/gui/Form.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace pellora::ui {

// The about box: the program's icon, name and version, and the legal notice
// of this build.
class frmAbout final : public platform::Form<QDialog> {
    Q_OBJECT
public:
    explicit frmAbout(QWidget *parent = nullptr);

    // "<title> ver <major>.<minor>", both numbers plain decimal: 1.5, not 1.05.
    static QString versionText(const QString &title, int major, int minor);

    QLabel *picIcon;
    QLabel *lblVersion;
    QLabel *lblCopyright;
    QPushButton *cmdOK;

protected:
    void Form_Load() override;

private:
    void cmdOK_Click();
};

} // namespace pellora::ui
