// One Pellora process holding the item list, driven line by line on its
// standard input, so that a test can run several side by side on one
// ITEM.DAT. It works on the real main window, loaded hidden as the item
// editor's store is:
//   open            load the window (reads the list)
//   add X           append the item named X
//   remove X        remove the item named X
//   edit X Y        rewrite the item named X as the item named Y
//   sort            click the first column's header (sorts by name)
//   opt X V         give the item named X the options V as the editor does:
//                   "strip", an encoding, or both as "strip,GBK"
//   editopt X Y     rewrite X as Y as the editor does, its options with it
//   delete X        delete the item named X as the Delete command does
//   close           unload the window (saves the list) and end
// Each command answers with one line: "rows=<names>" and, after a bar, the
// message boxes asked since the last answer.

#include "core/clsItem.h"
#include "platform/gui/Form.h"
#include "support/LetterItems.h"
#include "support/RecordingShell.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QHeaderView>
#include <QTableWidget>

#include <iostream>
#include <string>

using namespace pellora;

namespace {

int rowNamed(const ui::frmMain &form, const QString &name)
{
    for (int r = 0; r < form.lvwMain->rowCount(); ++r) {
        if (form.rowTexts(r).at(0) == name)
            return r;
    }
    return -1;
}

QString state(const ui::frmMain *form, test::RecordingShell &shell)
{
    QStringList names;
    for (int r = 0; form && r < form->lvwMain->rowCount(); ++r)
        names.append(form->rowTexts(r).at(0));
    QString boxes = shell.callsOf(QStringLiteral("messageBox")).join(u';');
    boxes.replace(u'\n', u' ');
    shell.calls.clear();
    return QStringLiteral("rows=") + names.join(u',') + u'|' + boxes;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Vorn"));
    QApplication::setApplicationName(QStringLiteral("Pellora"));
    test::RecordingShell shell;
    ui::frmMain *form = nullptr;
    std::string line;
    while (std::getline(std::cin, line)) {
        const QStringList words = QString::fromStdString(line).split(u' ', Qt::SkipEmptyParts);
        const QString command = words.value(0);
        if (command == u"open") {
            form = &platform::formInstance<ui::frmMain>();
        } else if (form && command == u"add") {
            form->appendRow(test::letterRow((words.value(1) + u'?').at(0)));
        } else if (form && command == u"remove") {
            form->lvwMain->removeRow(rowNamed(*form, words.value(1)));
        } else if (form && command == u"edit") {
            form->setRowTexts(rowNamed(*form, words.value(1)), test::letterRow((words.value(2) + u'?').at(0)));
        } else if (form && command == u"opt") {
            core::ItemOptions options;
            for (const QString &value : words.value(2).split(u',', Qt::SkipEmptyParts)) {
                if (value == u"strip")
                    options.stripTopFolder = true;
                else
                    options.nameEncoding = value;
            }
            const int row = rowNamed(*form, words.value(1));
            form->setRowTexts(row, form->rowTexts(row), options);
        } else if (form && command == u"editopt") {
            const int row = rowNamed(*form, words.value(1));
            form->setRowTexts(row, test::letterRow((words.value(2) + u'?').at(0)), form->rowOptions(row));
        } else if (form && command == u"delete") {
            core::gblnNoRemoveBox = true;
            form->selectRow(rowNamed(*form, words.value(1)));
            form->mnuItemDelete->trigger();
        } else if (form && command == u"sort") {
            Q_EMIT form->lvwMain->horizontalHeader()->sectionClicked(0);
        } else if (form && command == u"close") {
            form->Unload();
            std::cout << state(form, shell).toStdString() << std::endl;
            return 0;
        } else {
            std::cout << "unknown command: " << line << std::endl;
            return 2;
        }
        std::cout << state(form, shell).toStdString() << std::endl;
    }
    return 1;
}
