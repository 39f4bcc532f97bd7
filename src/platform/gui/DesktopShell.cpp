#include "platform/gui/DesktopShell.h"

#include "platform/gui/FileDialogColumns.h"
#include "platform/gui/Form.h"

#include "platform/gui/HelpWindow.h"
#include "platform/gui/TextViewerWindow.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QMessageBox>

namespace pellora::platform {

namespace {

QMessageBox::StandardButton standardButton(int answer)
{
    switch (answer) {
    case vbCancel:
        return QMessageBox::Cancel;
    case vbRetry:
        return QMessageBox::Retry;
    case vbYes:
        return QMessageBox::Yes;
    case vbNo:
        return QMessageBox::No;
    default:
        return QMessageBox::Ok;
    }
}

int answerOf(QMessageBox::StandardButton button)
{
    switch (button) {
    case QMessageBox::Cancel:
        return vbCancel;
    case QMessageBox::Retry:
        return vbRetry;
    case QMessageBox::Yes:
        return vbYes;
    case QMessageBox::No:
        return vbNo;
    default:
        return vbOK;
    }
}

struct Buttons {
    QMessageBox::StandardButtons all;
    QMessageBox::StandardButton escape;
};

Buttons buttonsOf(int style)
{
    switch (style & 0x0F) {
    case vbOKCancel:
        return { QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel };
    case vbYesNo:
        return { QMessageBox::Yes | QMessageBox::No, QMessageBox::No };
    case vbYesNoCancel:
        return { QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel };
    case vbRetryCancel:
        return { QMessageBox::Retry | QMessageBox::Cancel, QMessageBox::Cancel };
    default:
        return { QMessageBox::Ok, QMessageBox::Ok };
    }
}

QMessageBox::Icon iconOf(int style)
{
    switch (style & 0x70) {
    case vbCritical:
        return QMessageBox::Critical;
    case vbQuestion:
        return QMessageBox::Question;
    case vbExclamation:
        return QMessageBox::Warning;
    case vbInformation:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

} // namespace

int DesktopShell::messageBox(const QString &text, int style, const QString &title)
{
    // No parent: the boxes belong to no window, as they did to the desktop.
    QMessageBox box;
    box.setWindowTitle(title);
    // Paths such as "<dl>/foo.lzh" must not be taken for markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setIcon(iconOf(style));
    const Buttons buttons = buttonsOf(style);
    box.setStandardButtons(buttons.all);
    box.setDefaultButton(standardButton(defaultAnswer(style)));
    // Esc and the window's close button both give the safe answer, not
    // whatever Qt would guess for a button pair without a Cancel.
    box.setEscapeButton(buttons.escape);
    box.exec();
    QAbstractButton *clicked = box.clickedButton();
    return answerOf(clicked ? box.standardButton(clicked) : buttons.escape);
}

void DesktopShell::showTextViewer(const QString &file)
{
    // Modeless and on its own: the caller goes on (and may even finish its
    // run) while the user reads.
    auto *viewer = new TextViewerWindow(file);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    // The program stays while the reader is open, as it would for any window of its own.
    Forms::hold(viewer);
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
}

void DesktopShell::showHelp(const QString &helpFile, Help command, int context)
{
    // Modeless, like the help engine it stands in for: the caller goes on.
    HelpWindow::showHelp(helpFile, command, context);
}

QString DesktopShell::BrowseForFolder(QObject *owner, const QString &prompt, const QString &initialFolder, int)
{
    // Only real folders can be confirmed: the dialog shows nothing else.
    QFileDialog dialog(qobject_cast<QWidget *>(owner), prompt, initialFolder);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    fitFileDialogColumns(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

QString DesktopShell::ShowOpenDialog(QObject *owner, const QString &filter, const QString &initialFolder)
{
    // "description|pattern|description|pattern" as the dialog's own filter lines.
    const QStringList parts = filter.split(u'|');
    QStringList lines;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        lines.append(QStringLiteral("%1 (%2)").arg(parts.at(i), parts.at(i + 1)));
    QFileDialog dialog(qobject_cast<QWidget *>(owner), QString(), initialFolder);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(lines);
    fitFileDialogColumns(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

} // namespace pellora::platform
