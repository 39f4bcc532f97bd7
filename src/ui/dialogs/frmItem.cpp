#include "ui/dialogs/frmItem.h"

#include "core/Pattern.h"
#include "core/TargetFolder.h"
#include "core/clsItem.h"
#include "platform/HelpTopic.h"
#include "platform/Paths.h"
#include "platform/Pickers.h"
#include "platform/Shell.h"
#include "platform/gui/Placement.h"
#include "platform/gui/Twips.h"
#include "ui/dialogs/NameEncodingBox.h"
#include "ui/main/frmMain.h"
#include "ui/select/frmSelect.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace pellora::ui {

using platform::kPathSeparator;
using platform::twips;

namespace {

const QString kTitle = QStringLiteral("Pellora");

// ITEM.DAT has no escape for a double quote: a record with one in any field
// is dropped whole at the next read, so the item would be lost. The software name's refusal is the model; the
// other fields get the same sentence naming themselves.
const QString kNameField = QStringLiteral("ソフト名");
const QString kNameQuoteMessage = QStringLiteral("ソフト名に\"は使えません。");

QString quoteMessage(const QString &field)
{
    return QString(kNameQuoteMessage).replace(kNameField, field);
}

// Whether a folder text names something that exists (files count too, as
// the lookup finds any entry). One trailing separator is dropped first,
// except from "/" alone, which names the root and so exists like any other
// folder: Linux has no drive roots that would need telling apart.
bool namesExistingEntry(QString text)
{
    if (text.size() > 1 && text.endsWith(kPathSeparator))
        text.chop(1);
    return !text.isEmpty() && QFileInfo::exists(text);
}

// Geometry in twips inside the client area (the frame's children inside
// the frame).
void place(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(twips(left), twips(top), twips(width), twips(height));
}

} // namespace

frmItem::frmItem(QWidget *parent)
    : Form(parent)
    , fraItem(new QGroupBox(QStringLiteral("アイテムの情報"), this))
    , lblName(new QLabel(QStringLiteral("ソフト名(&N):"), fraItem))
    , txtName(new QLineEdit(fraItem))
    , lblPattern(new QLabel(QStringLiteral("ファイルパターン(&P):"), fraItem))
    , txtPattern(new QLineEdit(fraItem))
    , lblRelation(new QLabel(QStringLiteral("関連ファイル(&R):"), fraItem))
    , txtRelation(new QLineEdit(fraItem))
    , cmdRelation(new QPushButton(QStringLiteral("参照..."), fraItem))
    , lblFolder(new QLabel(QStringLiteral("解凍先フォルダ(&F):"), fraItem))
    , txtFolder(new QLineEdit(fraItem))
    , cmdFolder(new QPushButton(QStringLiteral("参照..."), fraItem))
    , lblEncoding(new QLabel(QStringLiteral("ファイル名の文字コード(&K):"), fraItem))
    , cboEncoding(new QComboBox(fraItem))
    , chkStripTop(new QCheckBox(QStringLiteral("先頭フォルダを取り除く(&S)"), fraItem))
    , cmdOK(new QPushButton(QStringLiteral("OK"), this))
    , cmdCancel(new QPushButton(QStringLiteral("キャンセル"), this))
    , cmdHelp(new QPushButton(QStringLiteral("ヘルプ"), this))
{
    setObjectName(QStringLiteral("frmItem"));
    setWindowTitle(QStringLiteral("新しいアイテムの追加"));
    // A fixed dialog border: a title and a close box, no resizing.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setSizeGripEnabled(false);

    fraItem->setObjectName(QStringLiteral("fraItem"));
    place(fraItem, 120, 120, 6570, 3060);

    // One row per field: the label, its box, and for the last two a browse
    // button. The accelerator of a label moves the focus into its box.
    struct Row {
        QLabel *label;
        const char *labelName;
        QLineEdit *box;
        const char *boxName;
        QPushButton *button;
        const char *buttonName;
    };
    const Row rows[] = {
        { lblName, "lblName", txtName, "txtName", nullptr, nullptr },
        { lblPattern, "lblPattern", txtPattern, "txtPattern", nullptr, nullptr },
        { lblRelation, "lblRelation", txtRelation, "txtRelation", cmdRelation, "cmdRelation" },
        { lblFolder, "lblFolder", txtFolder, "txtFolder", cmdFolder, "cmdFolder" },
    };
    int top = 360;
    for (const Row &row : rows) {
        row.label->setObjectName(QString::fromLatin1(row.labelName));
        row.box->setObjectName(QString::fromLatin1(row.boxName));
        row.label->setBuddy(row.box);
        place(row.label, 180, top + 45, 1755, 240);
        if (row.button) {
            row.button->setObjectName(QString::fromLatin1(row.buttonName));
            row.button->setAutoDefault(false);
            place(row.box, 1980, top, 3255, 300);
            place(row.button, 5310, top - 8, 1080, 315);
        } else {
            place(row.box, 1980, top, 4410, 300);
        }
        top += 480;
    }

    // The options: a compact pair of rows under the fields.
    lblEncoding->setObjectName(QStringLiteral("lblEncoding"));
    cboEncoding->setObjectName(QStringLiteral("cboEncoding"));
    chkStripTop->setObjectName(QStringLiteral("chkStripTop"));
    lblEncoding->setBuddy(cboEncoding);
    fillNameEncodings(cboEncoding);
    place(lblEncoding, 180, top + 45, 2400, 240);
    place(cboEncoding, 2640, top, 2595, 300);
    place(chkStripTop, 180, top + 420, 5055, 300);

    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdHelp->setObjectName(QStringLiteral("cmdHelp"));
    // Enter presses OK wherever the focus is, except on another button.
    cmdOK->setDefault(true);
    place(cmdOK, 2670, 3300, 1215, 315);
    place(cmdCancel, 4020, 3300, 1215, 315);
    place(cmdHelp, 5370, 3300, 1215, 315);

    setTabOrder(txtName, txtPattern);
    setTabOrder(txtPattern, txtRelation);
    setTabOrder(txtRelation, cmdRelation);
    setTabOrder(cmdRelation, txtFolder);
    setTabOrder(txtFolder, cmdFolder);
    setTabOrder(cmdFolder, cboEncoding);
    setTabOrder(cboEncoding, chkStripTop);
    setTabOrder(chkStripTop, cmdOK);
    setTabOrder(cmdOK, cmdCancel);
    setTabOrder(cmdCancel, cmdHelp);

    connect(txtFolder, &QLineEdit::textChanged, this, &frmItem::txtFolder_Change);
    connect(cmdOK, &QPushButton::clicked, this, &frmItem::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmItem::cmdCancel_Click);
    connect(cmdFolder, &QPushButton::clicked, this, &frmItem::cmdFolder_Click);
    connect(cmdRelation, &QPushButton::clicked, this, &frmItem::cmdRelation_Click);
    connect(cmdHelp, &QPushButton::clicked, this, &frmItem::cmdHelp_Click);

    setFixedSize(twips(6810), twips(3735));
}

core::ItemOptions frmItem::itemOptions() const
{
    core::ItemOptions options;
    options.stripTopFolder = chkStripTop->isChecked();
    options.nameEncoding = chosenNameEncoding(cboEncoding);
    options.unknown = m_unknownOptions;
    return options;
}

void frmItem::setItemOptions(const core::ItemOptions &options)
{
    chkStripTop->setChecked(options.stripTopFolder);
    chooseNameEncoding(cboEncoding, options.nameEncoding);
    m_unknownOptions = options.unknown;
}

void frmItem::Form_Load()
{
    m_helpFile = platform::helpFolder() + QStringLiteral("index.html");
}

bool frmItem::event(QEvent *event)
{
    const bool handled = Form::event(event);
    // Every activation, not only the first: returning from the folder
    // browser runs it again.
    if (event->type() == QEvent::WindowActivate)
        Form_Activate();
    return handled;
}

void frmItem::showEvent(QShowEvent *event)
{
    if (!m_placed) {
        m_placed = true;
        centreOnOwner();
    }
    Form::showEvent(event);
}

void frmItem::centreOnOwner()
{
    // The owner is the window that opens the editor: the main window, or the
    // unmatched-archive dialog. That dialog unloads right after handing over,
    // so it must not become the Qt parent (its deletion would take the editor
    // with it); it is only the window to centre on and to stay above.
    platform::centreOnOwner(this, platform::activeOwner(this));
}

void frmItem::Form_Activate()
{
    // Editing: the name is usually right, the pattern is what changes.
    if (!core::gblnAddMode)
        txtPattern->setFocus();
    if (txtFolder->text().isEmpty())
        return;
    // Only ever enables: the opener disabled the button, and a folder that
    // exists now offers its files. The lookup is the one of txtFolder_Change:
    // only a trailing slash is dropped, so a folder typed without one (a
    // stored default, say) is looked up whole instead of losing a letter.
    if (namesExistingEntry(txtFolder->text()))
        cmdRelation->setEnabled(true);
}

void frmItem::txtFolder_Change()
{
    // In archive mode the chooser lists the archive, not the folder, so the
    // button stays enabled whatever is typed.
    if (core::gblnAddFromArchive)
        return;
    cmdRelation->setEnabled(namesExistingEntry(txtFolder->text()));
}

QString frmItem::firstInputError() const
{
    // Only the first failing field is named. The fields come in the order
    // their empty checks always had (name, pattern, folder), then the related
    // file, which may stay empty and so only has the quote check. Within a
    // field the quote comes first, as it always did for the name: a name with
    // a quote and an empty pattern is told about the quote only, and no field
    // is reported empty while an earlier one still holds a quote.
    const struct {
        const QLineEdit *box;
        QString quote;
        QString empty;
    } checks[] = {
        { txtName, kNameQuoteMessage, QStringLiteral("ソフト名を入力してください。") },
        { txtPattern, quoteMessage(QStringLiteral("ファイルパターン")),
            QStringLiteral("ファイルパターンを入力してください。") },
        { txtFolder, quoteMessage(QStringLiteral("解凍先フォルダ")),
            QStringLiteral("解凍先フォルダを入力してください。") },
        { txtRelation, quoteMessage(QStringLiteral("関連ファイル")), QString() },
    };
    for (const auto &check : checks) {
        const QString text = check.box->text();
        if (text.contains(u'"'))
            return check.quote;
        if (text.isEmpty() && !check.empty.isEmpty())
            return check.empty;
        // Extraction refuses such a folder; an item is not stored with one.
        if (check.box == txtFolder && !core::IsAbsoluteFolder(text))
            return core::NotAbsoluteFolderMessage(text);
    }
    return {};
}

void frmItem::cmdOK_Click()
{
    const QString error = firstInputError();
    if (!error.isEmpty()) {
        platform::shell().messageBox(error, platform::vbOKOnly | platform::vbExclamation, kTitle);
        return;
    }

    // Held here: unloading the main window below releases the global record
    // while this still needs it.
    const std::shared_ptr<core::clsItem> archive = core::gblnAddFromArchive ? core::CurrentItem : nullptr;
    // Compared exactly: the new item should catch this very archive.
    const auto catchesArchive = [&archive](const QString &pattern) {
        return core::FilePattern(pattern, Qt::CaseSensitive).matches(archive->Name());
    };
    if (archive && !catchesArchive(txtPattern->text())) {
        const int answer = platform::shell().messageBox(
            QStringLiteral("現在のファイル名とファイルパターンがマッチしませんがよろしいですか?"),
            platform::vbOKCancel | platform::vbExclamation | platform::vbDefaultButton2, kTitle);
        if (answer != platform::vbOK)
            return;
    }

    hide();
    txtFolder->setText(platform::withTrailingSeparator(txtFolder->text()));
    storeInMainList();

    if (archive) {
        archive->setPattern(txtPattern->text());
        archive->setOutput(txtFolder->text());
        archive->setRelation(txtRelation->text());
        archive->setOptions(itemOptions());
        // A pattern the user kept although it misses the archive stores the
        // item but extracts nothing.
        if (catchesArchive(archive->Pattern()))
            archive->Melt(QStringLiteral("*.*"), core::kMissing, core::kMissing);
        // The hidden main window only held the item table: unloading it
        // writes ITEM.DAT with the new row.
        platform::formInstance<frmMain>().Unload();
    }
    Unload();
}

void frmItem::storeInMainList()
{
    // Loads the main window hidden when the unmatched-archive dialog opened
    // the editor: its rows are the item table.
    frmMain &main = platform::formInstance<frmMain>();
    const QStringList texts{ txtName->text(), txtPattern->text(), txtFolder->text(), txtRelation->text() };
    if (core::gblnAddMode || core::gblnAddFromArchive) {
        main.appendRow(texts, itemOptions());
    } else {
        const int row = main.selectedRow();
        if (row >= 0)
            main.setRowTexts(row, texts, itemOptions());
    }
    main.UpdateItemCount();
    for (QAction *button : { main.tlbEdit, main.tlbDelete, main.tlbFiler })
        button->setEnabled(true);
}

void frmItem::cmdCancel_Click()
{
    Unload();
}

void frmItem::cmdFolder_Click()
{
    txtFolder->setText(platform::SelectFolder(this, txtFolder->text()));
}

void frmItem::cmdRelation_Click()
{
    // The chooser reads this editor's folder and the flags, and writes the
    // chosen file into txtRelation before it unloads. An archive it lists
    // shows its names as this item's options make them.
    if (core::gblnAddFromArchive && core::CurrentItem)
        core::CurrentItem->setOptions(itemOptions());
    platform::formInstance<frmSelect>().Show(platform::vbModal);
}

void frmItem::cmdHelp_Click()
{
    // Context 10 is this dialog's topic.
    platform::shell().showHelp(m_helpFile, platform::Shell::Help::Context, int(platform::HelpTopic::ItemEditor));
}

void frmItem::Form_Unload(bool & /*cancel*/)
{
    txtName->clear();
    txtPattern->clear();
    txtRelation->clear();
    txtFolder->clear();
    setItemOptions({});
    core::gblnAddMode = false;
    // The chooser reads and writes this editor's boxes: it cannot outlive it.
    if (platform::formIsLoaded<frmSelect>())
        platform::formInstance<frmSelect>().Unload();

    // A main window that is not shown served only as the item store of the
    // unmatched-archive road: unloading it writes ITEM.DAT and lets the
    // program end. Asking whether it is shown loads it when it is not.
    frmMain &main = platform::formInstance<frmMain>();
    if (!main.isVisible())
        main.Unload();
}

} // namespace pellora::ui
