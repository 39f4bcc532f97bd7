#include "core/ItemFile.h"
#include "core/ItemOptions.h"
#include "core/clsItem.h"
#include "core/modRegistry.h"
#include "platform/Paths.h"
#include "platform/archiver/ArchiverRegistry.h"
#include "platform/gui/Form.h"
#include "platform/gui/Twips.h"
#include "support/FakeArchiver.h"
#include "support/Forms.h"
#include "support/GuiActions.h"
#include "support/ItemList.h"
#include "support/MainWindow.h"
#include "support/RecordingShell.h"
#include "support/TestSupport.h"
#include "ui/dialogs/frmItem.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <functional>
#include <memory>

using namespace pellora;
using core::ItemRecord;
using test::countText;
using test::letterRowWithRelatedFile;
using test::lettersRows;
using test::messageBoxCall;
using test::records;
using test::removeItemFile;
using test::rowsOf;
using test::settle;
using test::storedRows;
using test::writeItems;
using ui::frmItem;
using ui::frmMain;

namespace {

const int kInputError = platform::vbOKOnly | platform::vbExclamation;
const int kMismatchQuestion = platform::vbOKCancel | platform::vbExclamation | platform::vbDefaultButton2;

const QString kNameQuote = QStringLiteral("ソフト名に\"は使えません。");
const QString kPatternQuote = QStringLiteral("ファイルパターンに\"は使えません。");
const QString kFolderQuote = QStringLiteral("解凍先フォルダに\"は使えません。");
const QString kRelationQuote = QStringLiteral("関連ファイルに\"は使えません。");
const QString kNameEmpty = QStringLiteral("ソフト名を入力してください。");
const QString kPatternEmpty = QStringLiteral("ファイルパターンを入力してください。");
const QString kFolderEmpty = QStringLiteral("解凍先フォルダを入力してください。");
// The refusal of a target folder that is not an absolute path.
QString folderNotAbsolute(const QString &folder)
{
    return QStringLiteral("解凍先フォルダ「%1」は絶対パスではありません。\n/ で始まるフォルダを指定してください。")
        .arg(folder);
}
const QString kMismatch = QStringLiteral("現在のファイル名とファイルパターンがマッチしませんがよろしいですか?");
const QString kAddCaption = QStringLiteral("新しいアイテムの追加");
const QString kEditCaption = QStringLiteral("アイテムの編集");

QStringList textsOf(const frmItem &editor)
{
    return { editor.txtName->text(), editor.txtPattern->text(), editor.txtFolder->text(), editor.txtRelation->text() };
}

void type(frmItem &editor, const QStringList &texts)
{
    editor.txtName->setText(texts.at(0));
    editor.txtPattern->setText(texts.at(1));
    editor.txtFolder->setText(texts.at(2));
    editor.txtRelation->setText(texts.at(3));
}

// What the editor looked like when it came up, before the test acted on it.
struct EditorSeen {
    bool opened = false;
    bool modal = false;
    QString caption;
    QStringList texts;
    bool relationEnabled = false;
    QString focus;
    bool addMode = false;
};

} // namespace

class tst_frmItem : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void layoutFollowsTheForm();
    void accelerators_data();
    void accelerators();
    void openersPrepareTheEditor_data();
    void openersPrepareTheEditor();
    void editingNeedsASelectedRow_data();
    void editingNeedsASelectedRow();
    void invalidInputNamesTheFirstFailingFieldAndKeepsTheEditor_data();
    void invalidInputNamesTheFirstFailingFieldAndKeepsTheEditor();
    void okStoresTheItemInTheMainList_data();
    void okStoresTheItemInTheMainList();
    void leavingTheEditorChangesNoRow_data();
    void leavingTheEditorChangesNoRow();
    void archiveModeStoresAndExtracts_data();
    void archiveModeStoresAndExtracts();
    void leavingInArchiveModeStoresNothingAndUnloadsTheHiddenMainWindow_data();
    void leavingInArchiveModeStoresNothingAndUnloadsTheHiddenMainWindow();
    void relatedFileButtonFollowsTheFolderText_data();
    void relatedFileButtonFollowsTheFolderText();
    void folderButtonTakesThePickedFolder_data();
    void folderButtonTakesThePickedFolder();
    void helpOpensTheEditorsTopic();
    void optionsFollowTheItemThroughEditSortAndDelete();
    void archiveModeExtractsWithTheOptionsChosen();

private:
    frmMain &openMain(const QList<QStringList> &rows);
    // Runs trigger, which is to open the editor modally; a zero-delay timer
    // then waits for the editor to become active, notes what it shows, runs
    // act on it and closes it if act left it open (then leftOpen is true).
    EditorSeen whileEditorIsOpen(const std::function<void()> &trigger, const std::function<void(frmItem &)> &act);
    // The editor as the unmatched-archive dialog hands it over: archive mode,
    // the archive called name in CurrentItem, shown modeless.
    frmItem &openForArchive(const QString &name, const QStringList &texts);
    QString work(const QString &relative) const { return m_work->filePath(relative); }
    // "@" at the start of a text stands for the work folder.
    QString expand(const QString &text) const { return text.startsWith(u'@') ? m_work->path() + text.mid(1) : text; }

    QTemporaryDir m_config;
    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<test::RecordingShell> m_shell;
    std::shared_ptr<test::FakeArchiver> m_library;
    bool m_leftOpen = false;
};

void tst_frmItem::initTestCase()
{
    QVERIFY(test::isolateSettings(m_config));
    QVERIFY(test::itemListIsPrivate());
}

void tst_frmItem::init()
{
    core::DeleteSettingsKey();
    // No result window: an extraction returns straight to the test.
    core::writeYesNo(core::setting(u"NoLog"), true);
    removeItemFile();
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(m_work->isValid());
    QVERIFY(QDir().mkpath(work(QStringLiteral("Soft"))));
    test::writeFile(work(QStringLiteral("Soft/readme.txt")), "read me");
    m_shell = std::make_unique<test::RecordingShell>();
    m_library = std::make_shared<test::FakeArchiver>();
    core::gblnAddMode = false;
    core::gblnAddFromArchive = false;
    m_leftOpen = false;
}

void tst_frmItem::cleanup()
{
    m_shell->answers.clear();
    test::unloadForms<frmItem, frmMain>();
    core::CurrentItem.reset();
    core::gblnAddMode = false;
    core::gblnAddFromArchive = false;
    arc::ArchiverRegistry::restoreBuiltIns();
    removeItemFile();
    m_shell.reset();
    m_work.reset();
}

frmMain &tst_frmItem::openMain(const QList<QStringList> &rows)
{
    writeItems(rows);
    frmMain &form = platform::formInstance<frmMain>();
    form.Show();
    settle();
    return form;
}

EditorSeen tst_frmItem::whileEditorIsOpen(
    const std::function<void()> &trigger, const std::function<void(frmItem &)> &act)
{
    EditorSeen seen;
    m_leftOpen = false;
    std::function<void()> probe = [&] {
        auto *editor = qobject_cast<frmItem *>(QApplication::activeModalWidget());
        if (!editor) {
            // A pop-up menu on the way to the editor runs its own loop first.
            if (QApplication::activePopupWidget())
                QTimer::singleShot(0, this, probe);
            return;
        }
        seen.opened = true;
        // A desktop activates a window as it comes up; the offscreen
        // platform waits to be asked. The editor reacts to the activation.
        editor->activateWindow();
        QCoreApplication::processEvents();
        QVERIFY(editor->isActiveWindow());
        seen.modal = editor->isModal();
        seen.caption = editor->windowTitle();
        seen.texts = textsOf(*editor);
        seen.relationEnabled = editor->cmdRelation->isEnabled();
        seen.focus = QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
        seen.addMode = core::gblnAddMode;
        act(*editor);
        if (platform::formIsLoaded<frmItem>()) {
            m_leftOpen = true;
            platform::formInstance<frmItem>().Unload();
        }
    };
    QTimer::singleShot(0, this, probe);
    trigger();
    settle();
    return seen;
}

frmItem &tst_frmItem::openForArchive(const QString &name, const QStringList &texts)
{
    const QString archive = work(QStringLiteral("dl/") + name);
    test::writeFile(archive, "archive");
    m_library->accepts = { archive };
    arc::ArchiverRegistry::install(QString::fromLatin1(arc::kUnlhaLibrary), m_library);
    core::CurrentItem = std::make_shared<core::clsItem>(QStringList{ archive });
    core::gblnAddMode = true;
    core::gblnAddFromArchive = true;
    frmItem &editor = platform::formInstance<frmItem>();
    type(editor, texts);
    editor.cmdRelation->setEnabled(true);
    editor.Show(platform::vbModeless);
    settle();
    return editor;
}

void tst_frmItem::layoutFollowsTheForm()
{
    frmMain &main = openMain({});
    const EditorSeen seen
        = whileEditorIsOpen([&] { QTest::mouseClick(main.tlbMain->widgetForAction(main.tlbNew), Qt::LeftButton); },
            [&](frmItem &editor) {
                // A fixed border around the designed client area.
                QCOMPARE(editor.size(), QSize(platform::twips(6810), platform::twips(3735)));
                QCOMPARE(editor.minimumSize(), editor.maximumSize());
                // Centred on the window that opened it.
                const QPoint offset = editor.frameGeometry().center() - main.frameGeometry().center();
                QVERIFY2(offset.manhattanLength() <= 2,
                    qPrintable(QStringLiteral("off by %1,%2").arg(offset.x()).arg(offset.y())));

                QCOMPARE(editor.fraItem->title(), QStringLiteral("アイテムの情報"));
                const QList<QPair<QLabel *, QLineEdit *>> labels
                    = { { editor.lblName, editor.txtName }, { editor.lblPattern, editor.txtPattern },
                          { editor.lblRelation, editor.txtRelation }, { editor.lblFolder, editor.txtFolder } };
                const QStringList captions = { QStringLiteral("ソフト名(&N):"), QStringLiteral("ファイルパターン(&P):"),
                    QStringLiteral("関連ファイル(&R):"), QStringLiteral("解凍先フォルダ(&F):") };
                for (int i = 0; i < labels.size(); ++i) {
                    QCOMPARE(labels.at(i).first->text(), captions.at(i));
                    QCOMPARE(labels.at(i).first->buddy(), labels.at(i).second);
                    QCOMPARE(labels.at(i).second->parentWidget(), editor.fraItem);
                    QCOMPARE(labels.at(i).second->maxLength(), QLineEdit().maxLength());
                }
                QCOMPARE(editor.cmdRelation->text(), QStringLiteral("参照..."));
                QCOMPARE(editor.cmdFolder->text(), QStringLiteral("参照..."));
                QCOMPARE(editor.cmdOK->text(), QStringLiteral("OK"));
                QCOMPARE(editor.cmdCancel->text(), QStringLiteral("キャンセル"));
                QCOMPARE(editor.cmdHelp->text(), QStringLiteral("ヘルプ"));
                QVERIFY(editor.cmdOK->isDefault());
                // The buttons stand below the frame.
                for (QPushButton *b : { editor.cmdOK, editor.cmdCancel, editor.cmdHelp })
                    QVERIFY(b->geometry().top() > editor.fraItem->geometry().bottom());
                // The options sit under the four fields, inside the frame,
                // and their texts fit.
                QCOMPARE(editor.lblEncoding->buddy(), editor.cboEncoding);
                for (QWidget *w : { static_cast<QWidget *>(editor.lblEncoding),
                         static_cast<QWidget *>(editor.chkStripTop), static_cast<QWidget *>(editor.cboEncoding) }) {
                    QCOMPARE(w->parentWidget(), editor.fraItem);
                    QVERIFY(w->geometry().top() > editor.txtFolder->geometry().bottom());
                    QVERIFY(editor.fraItem->rect().contains(w->geometry()));
                    QVERIFY2(w->sizeHint().width() <= w->width(), qPrintable(w->objectName()));
                }
                QVERIFY(editor.chkStripTop->geometry().top() > editor.cboEncoding->geometry().bottom());
                QStringList shown;
                for (int i = 0; i < editor.cboEncoding->count(); ++i)
                    shown << editor.cboEncoding->itemText(i);
                QCOMPARE(shown, QStringLiteral("自動|UTF-8|Shift_JIS (CP932)|GBK|Big5|EUC-KR|CP437").split(u'|'));
                QCOMPARE(editor.cboEncoding->currentIndex(), 0);
                QVERIFY(!editor.chkStripTop->isChecked());

                // The tab order walks the fields top to bottom, each browse button
                // after its box, then the buttons below.
                QStringList order;
                QWidget *w = editor.txtName;
                do {
                    if (w->focusPolicy() & Qt::TabFocus)
                        order.append(w->objectName());
                    w = w->nextInFocusChain();
                } while (w != editor.txtName && order.size() < 20);
                QCOMPARE(order,
                    QStringLiteral("txtName txtPattern txtRelation cmdRelation txtFolder cmdFolder cboEncoding "
                                   "chkStripTop cmdOK cmdCancel cmdHelp")
                        .split(u' '));
            });
    QVERIFY(seen.opened);
    QVERIFY(seen.modal);
}

void tst_frmItem::accelerators_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("focus");
    QTest::newRow("Alt+N moves to the software name") << int(Qt::Key_N) << QStringLiteral("txtName");
    QTest::newRow("Alt+P moves to the file pattern") << int(Qt::Key_P) << QStringLiteral("txtPattern");
    QTest::newRow("Alt+R moves to the related file") << int(Qt::Key_R) << QStringLiteral("txtRelation");
    QTest::newRow("Alt+F moves to the target folder") << int(Qt::Key_F) << QStringLiteral("txtFolder");
    QTest::newRow("Alt+K moves to the name encoding") << int(Qt::Key_K) << QStringLiteral("cboEncoding");
    QTest::newRow("Alt+S moves to the top folder box") << int(Qt::Key_S) << QStringLiteral("chkStripTop");
}

void tst_frmItem::accelerators()
{
    QFETCH(int, key);
    QFETCH(QString, focus);
    frmMain &main = openMain({});
    QString focused;
    whileEditorIsOpen([&] { QTest::mouseClick(main.tlbMain->widgetForAction(main.tlbNew), Qt::LeftButton); },
        [&](frmItem &editor) {
            editor.cmdHelp->setFocus();
            QTest::keyClick(&editor, Qt::Key(key), Qt::AltModifier);
            focused = QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
        });
    QCOMPARE(focused, focus);
}

void tst_frmItem::openersPrepareTheEditor_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<QVariant>("defaultFolder"); // invalid: not stored
    QTest::addColumn<QString>("rowFolder");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<bool>("relationEnabled");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<bool>("addMode");
    const QString soft = QStringLiteral("@/Soft/");
    const QString missing = QStringLiteral("@/Missing/");
    QTest::newRow("adding starts empty in the name box when no default folder is stored")
        << QStringLiteral("new") << QVariant() << QString() << kAddCaption << QStringList{ {}, {}, {}, {} } << false
        << QStringLiteral("txtName") << true;
    QTest::newRow("adding offers the stored default folder and enables the button when it exists")
        << QStringLiteral("new") << QVariant(soft) << QString() << kAddCaption << QStringList{ {}, {}, soft, {} }
        << true << QStringLiteral("txtName") << true;
    QTest::newRow("adding from the menu with a missing default folder keeps the button disabled")
        << QStringLiteral("menuAdd") << QVariant(missing) << QString() << kAddCaption
        << QStringList{ {}, {}, missing, {} } << false << QStringLiteral("txtName") << true;
    QTest::newRow("adding from the empty-space pop-up opens the same editor")
        << QStringLiteral("popupAdd") << QVariant() << QString() << kAddCaption << QStringList{ {}, {}, {}, {} }
        << false << QStringLiteral("txtName") << true;
    QTest::newRow("editing shows the selected row, focuses the pattern and enables the button for its folder")
        << QStringLiteral("edit") << QVariant() << soft << kEditCaption
        << QStringList{ QStringLiteral("B"), QStringLiteral("b*.zip"), soft, QStringLiteral("b.txt") } << true
        << QStringLiteral("txtPattern") << false;
    QTest::newRow("editing a row whose folder is missing keeps the button disabled")
        << QStringLiteral("edit") << QVariant() << missing << kEditCaption
        << QStringList{ QStringLiteral("B"), QStringLiteral("b*.zip"), missing, QStringLiteral("b.txt") } << false
        << QStringLiteral("txtPattern") << false;
}

void tst_frmItem::openersPrepareTheEditor()
{
    QFETCH(QString, trigger);
    QFETCH(QVariant, defaultFolder);
    QFETCH(QString, rowFolder);
    QFETCH(QStringList, texts);
    QFETCH(bool, addMode);
    if (defaultFolder.isValid())
        core::writeText(core::setting(u"DefaultItemFolder"), expand(defaultFolder.toString()));
    for (QString &t : texts)
        t = expand(t);
    QList<QStringList> rows = lettersRows(QStringLiteral("ABC"));
    if (!rowFolder.isEmpty())
        rows[1][2] = expand(rowFolder);
    frmMain &main = openMain(rows);
    main.selectRow(1);

    const EditorSeen seen = whileEditorIsOpen(
        [&] {
            if (trigger == u"new") {
                QTest::mouseClick(main.tlbMain->widgetForAction(main.tlbNew), Qt::LeftButton);
            } else if (trigger == u"edit") {
                QTest::mouseClick(main.tlbMain->widgetForAction(main.tlbEdit), Qt::LeftButton);
            } else if (trigger == u"menuAdd") {
                main.mnuItem->popup(QPoint(0, 0));
                QTest::mouseClick(
                    main.mnuItem, Qt::LeftButton, {}, main.mnuItem->actionGeometry(main.mnuItemAdd).center());
            } else {
                QTimer::singleShot(0, &main, [&main] {
                    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
                    QVERIFY(menu);
                    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(main.mnuPopupAdd).center());
                });
                const QPoint empty(10, main.lvwMain->viewport()->height() - 4);
                QTest::mouseRelease(main.lvwMain->viewport(), Qt::RightButton, {}, empty);
            }
        },
        [](frmItem &) {});

    QVERIFY(seen.opened);
    QVERIFY(seen.modal);
    QTEST(seen.caption, "caption");
    QCOMPARE(seen.texts, texts);
    QTEST(seen.relationEnabled, "relationEnabled");
    QTEST(seen.focus, "focus");
    QCOMPARE(seen.addMode, addMode);
    // Closing clears the flag again and leaves the list as it was.
    QVERIFY(!core::gblnAddMode);
    QCOMPARE(rowsOf(main), rows);
}

void tst_frmItem::editingNeedsASelectedRow_data()
{
    QTest::addColumn<QString>("letters");
    QTest::addColumn<QString>("trigger");
    QTest::newRow("a double-click on empty space below the rows opens no editor")
        << QStringLiteral("AB") << QStringLiteral("dblclickEmpty");
    QTest::newRow("the edit button without a selected row opens no editor")
        << QStringLiteral("AB") << QStringLiteral("edit");
    QTest::newRow("the edit entry without a selected row opens no editor")
        << QStringLiteral("AB") << QStringLiteral("menuEdit");
    QTest::newRow("Enter on an empty list opens no editor") << QString() << QStringLiteral("enter");
}

void tst_frmItem::editingNeedsASelectedRow()
{
    QFETCH(QString, letters);
    QFETCH(QString, trigger);
    const QList<QStringList> rows = lettersRows(letters);
    frmMain &main = openMain(rows);
    QCOMPARE(main.selectedRow(), -1);

    const EditorSeen seen = whileEditorIsOpen(
        [&] {
            QWidget *viewport = main.lvwMain->viewport();
            if (trigger == u"dblclickEmpty") {
                const QPoint empty(10, viewport->height() - 4);
                QVERIFY(!main.lvwMain->itemAt(empty));
                QTest::mouseClick(viewport, Qt::LeftButton, {}, empty);
                QTest::mouseDClick(viewport, Qt::LeftButton, {}, empty);
                QTest::mouseRelease(viewport, Qt::LeftButton, {}, empty);
            } else if (trigger == u"edit") {
                QVERIFY(main.tlbEdit->isEnabled());
                QTest::mouseClick(main.tlbMain->widgetForAction(main.tlbEdit), Qt::LeftButton);
            } else if (trigger == u"menuEdit") {
                main.mnuItem->popup(QPoint(0, 0));
                QVERIFY(main.mnuItemEdit->isEnabled());
                QTest::mouseClick(
                    main.mnuItem, Qt::LeftButton, {}, main.mnuItem->actionGeometry(main.mnuItemEdit).center());
            } else {
                main.lvwMain->setFocus();
                QTest::keyClick(main.lvwMain, Qt::Key_Return);
            }
        },
        [](frmItem &) {});

    QVERIFY(!seen.opened);
    QVERIFY(!platform::formIsLoaded<frmItem>());
    QCOMPARE(rowsOf(main), rows);
}

void tst_frmItem::invalidInputNamesTheFirstFailingFieldAndKeepsTheEditor_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("message");
    const QString n = QStringLiteral("Tool"), p = QStringLiteral("tool*.lzh"), f = QStringLiteral("/tools/Tool/"),
                  r = QStringLiteral("readme.txt"), q = QStringLiteral("say \"hi\"");
    QTest::newRow("a name with a double quote is refused") << QStringList{ q, p, f, r } << kNameQuote;
    QTest::newRow("a name with a double quote and an empty pattern is told only about the quote")
        << QStringList{ q, {}, f, r } << kNameQuote;
    QTest::newRow("a name with a double quote wins over a quote in every other field")
        << QStringList{ q, q, q, q } << kNameQuote;
    QTest::newRow("an empty name is asked for first") << QStringList{ {}, {}, {}, {} } << kNameEmpty;
    QTest::newRow("an empty name comes before a quote in the pattern") << QStringList{ {}, q, f, r } << kNameEmpty;
    QTest::newRow("a pattern with a double quote is refused") << QStringList{ n, q, f, r } << kPatternQuote;
    QTest::newRow("a pattern with a double quote comes before an empty folder")
        << QStringList{ n, q, {}, r } << kPatternQuote;
    QTest::newRow("an empty pattern is asked for") << QStringList{ n, {}, {}, {} } << kPatternEmpty;
    QTest::newRow("an empty pattern comes before a quote in the folder") << QStringList{ n, {}, q, r } << kPatternEmpty;
    QTest::newRow("a folder with a double quote is refused") << QStringList{ n, p, q, r } << kFolderQuote;
    QTest::newRow("a folder with a double quote comes before a quote in the related file")
        << QStringList{ n, p, q, q } << kFolderQuote;
    QTest::newRow("an empty folder is asked for") << QStringList{ n, p, {}, {} } << kFolderEmpty;
    QTest::newRow("an empty folder comes before a quote in the related file")
        << QStringList{ n, p, {}, q } << kFolderEmpty;
    const QString windows = QStringLiteral("C:\\Program Files\\Foo\\");
    QTest::newRow("a Windows folder, as an item list from Windows holds it, is refused")
        << QStringList{ n, p, windows, r } << folderNotAbsolute(windows);
    QTest::newRow("a folder relative to the current one is refused")
        << QStringList{ n, p, QStringLiteral("soft/"), r } << folderNotAbsolute(QStringLiteral("soft/"));
    QTest::newRow("a folder below ~ is refused, and before a quote in the related file")
        << QStringList{ n, p, QStringLiteral("~/Tools"), q } << folderNotAbsolute(QStringLiteral("~/Tools"));
    QTest::newRow("a related file with a double quote is refused") << QStringList{ n, p, f, q } << kRelationQuote;
    QTest::newRow("a single double quote in the related file is refused")
        << QStringList{ n, p, f, QStringLiteral("\"") } << kRelationQuote;
}

void tst_frmItem::invalidInputNamesTheFirstFailingFieldAndKeepsTheEditor()
{
    QFETCH(QStringList, texts);
    QFETCH(QString, message);
    const QList<QStringList> rows = lettersRows(QStringLiteral("AB"));
    frmMain &main = openMain(rows);
    QStringList afterOk;
    bool visibleAfterOk = false;

    const EditorSeen seen
        = whileEditorIsOpen([&] { QTest::mouseClick(main.tlbMain->widgetForAction(main.tlbNew), Qt::LeftButton); },
            [&](frmItem &editor) {
                type(editor, texts);
                QTest::mouseClick(editor.cmdOK, Qt::LeftButton);
                afterOk = textsOf(editor);
                visibleAfterOk = editor.isVisible();
            });

    QVERIFY(seen.opened);
    QCOMPARE(m_shell->callsOf(QStringLiteral("messageBox")), QStringList{ messageBoxCall(message, kInputError) });
    // The editor stayed open with the input as typed, and no row came.
    QVERIFY(m_leftOpen);
    QVERIFY(visibleAfterOk);
    QCOMPARE(afterOk, texts);
    QCOMPARE(rowsOf(main), rows);
}

void tst_frmItem::okStoresTheItemInTheMainList_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<QString>("confirm");
    QTest::addColumn<QString>("letters");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QList<QStringList>>("expected");
    const QStringList fresh = { QStringLiteral("New"), QStringLiteral("new*.lzh"), QStringLiteral("/tools/New/"),
        QStringLiteral("doc/readme.txt") };
    QStringList bare = fresh;
    bare[2] = QStringLiteral("/tools/New");
    QStringList edited
        = { QStringLiteral("Bee"), QStringLiteral("bee[0-9]*.zip"), QStringLiteral("/tools/Bee"), QString() };
    QStringList editedStored = edited;
    editedStored[2] = QStringLiteral("/tools/Bee/");

    QTest::newRow("the new button appends the typed item after the last row")
        << QStringLiteral("new") << QStringLiteral("click") << QStringLiteral("AB") << 0 << fresh
        << (lettersRows(QStringLiteral("AB")) << fresh);
    QTest::newRow("a folder typed without its slash is stored with one")
        << QStringLiteral("new") << QStringLiteral("enter") << QStringLiteral("AB") << 0 << bare
        << (lettersRows(QStringLiteral("AB")) << fresh);
    QTest::newRow("the root typed as the folder is stored as it is")
        << QStringLiteral("new") << QStringLiteral("click") << QString() << -1
        << QStringList{ QStringLiteral("Root"), QStringLiteral("*.zip"), QStringLiteral("/"), QString() }
        << QList<QStringList>{ { QStringLiteral("Root"), QStringLiteral("*.zip"), QStringLiteral("/"), QString() } };
    QTest::newRow("adding to an empty list enables edit, delete and the filer")
        << QStringLiteral("new") << QStringLiteral("click") << QString() << -1 << fresh << QList<QStringList>{ fresh };
    QTest::newRow("the edit button rewrites the selected row in place")
        << QStringLiteral("edit") << QStringLiteral("click") << QStringLiteral("ABC") << 1 << edited
        << QList<QStringList>{ letterRowWithRelatedFile(u'A'), editedStored, letterRowWithRelatedFile(u'C') };
    QTest::newRow("Enter on the list edits the selected row")
        << QStringLiteral("enter") << QStringLiteral("enter") << QStringLiteral("ABC") << 2 << edited
        << QList<QStringList>{ letterRowWithRelatedFile(u'A'), letterRowWithRelatedFile(u'B'), editedStored };
    QTest::newRow("a double-click on a row edits that row")
        << QStringLiteral("dblclick") << QStringLiteral("click") << QStringLiteral("ABC") << 0 << fresh
        << QList<QStringList>{ fresh, letterRowWithRelatedFile(u'B'), letterRowWithRelatedFile(u'C') };
    QTest::newRow("an edit may repeat another item's name and pattern")
        << QStringLiteral("edit") << QStringLiteral("click") << QStringLiteral("AB") << 1
        << letterRowWithRelatedFile(u'A') << lettersRows(QStringLiteral("AA"));
}

void tst_frmItem::okStoresTheItemInTheMainList()
{
    QFETCH(QString, trigger);
    QFETCH(QString, confirm);
    QFETCH(QString, letters);
    QFETCH(int, selected);
    QFETCH(QStringList, typed);
    QFETCH(QList<QStringList>, expected);
    const QList<QStringList> before = lettersRows(letters);
    frmMain &main = openMain(before);
    if (selected >= 0)
        main.selectRow(selected);

    const EditorSeen seen = whileEditorIsOpen(
        [&] {
            if (trigger == u"new") {
                QTest::mouseClick(main.tlbMain->widgetForAction(main.tlbNew), Qt::LeftButton);
            } else if (trigger == u"edit") {
                QTest::mouseClick(main.tlbMain->widgetForAction(main.tlbEdit), Qt::LeftButton);
            } else if (trigger == u"enter") {
                QTest::keyClick(main.lvwMain, Qt::Key_Return);
            } else {
                QWidget *viewport = main.lvwMain->viewport();
                const QPoint at = main.lvwMain->visualItemRect(main.lvwMain->item(selected, 0)).center();
                QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
                QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
                QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
            }
        },
        [&](frmItem &editor) {
            type(editor, typed);
            if (confirm == u"enter")
                QTest::keyClick(editor.txtName, Qt::Key_Return); // Enter presses OK
            else
                QTest::mouseClick(editor.cmdOK, Qt::LeftButton);
        });

    QVERIFY(seen.opened);
    QVERIFY(!m_leftOpen);
    QVERIFY(m_shell->calls.isEmpty());
    QCOMPARE(rowsOf(main), expected);
    QCOMPARE(main.staMainText->text(), countText(int(expected.size())));
    QVERIFY(main.tlbEdit->isEnabled());
    QVERIFY(main.tlbDelete->isEnabled());
    QVERIFY(main.tlbFiler->isEnabled());
    // The selection stays where it was, on the rewritten row when editing.
    if (selected >= 0)
        QCOMPARE(main.selectedRow(), selected);
    QVERIFY(!core::gblnAddMode);
    // The shown main window keeps its rows in memory; only its own unload
    // writes them.
    QVERIFY(platform::formIsLoaded<frmMain>());
    QVERIFY(main.isVisible());
    QCOMPARE(storedRows(), before);
    QVERIFY(main.Unload());
    QCOMPARE(storedRows(), expected);
}

void tst_frmItem::leavingTheEditorChangesNoRow_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<QString>("way");
    for (const QString &trigger : { QStringLiteral("new"), QStringLiteral("edit") }) {
        const QString what = trigger == u"new" ? QStringLiteral("adding") : QStringLiteral("editing");
        QTest::addRow("the cancel button ends %s without a change", qPrintable(what))
            << trigger << QStringLiteral("cancel");
        QTest::addRow("Esc ends %s without a change", qPrintable(what)) << trigger << QStringLiteral("esc");
        QTest::addRow("the close box ends %s without a change", qPrintable(what)) << trigger << QStringLiteral("close");
    }
}

void tst_frmItem::leavingTheEditorChangesNoRow()
{
    QFETCH(QString, trigger);
    QFETCH(QString, way);
    const QList<QStringList> rows = lettersRows(QStringLiteral("ABC"));
    frmMain &main = openMain(rows);
    main.selectRow(1);
    QAction *button = trigger == u"new" ? main.tlbNew : main.tlbEdit;

    const EditorSeen seen
        = whileEditorIsOpen([&] { QTest::mouseClick(main.tlbMain->widgetForAction(button), Qt::LeftButton); },
            [&](frmItem &editor) {
                type(editor, letterRowWithRelatedFile(u'Z'));
                if (way == u"cancel")
                    QTest::mouseClick(editor.cmdCancel, Qt::LeftButton);
                else if (way == u"esc")
                    QTest::keyClick(editor.txtPattern, Qt::Key_Escape);
                else
                    editor.close();
            });

    QVERIFY(seen.opened);
    QVERIFY(!m_leftOpen);
    QVERIFY(m_shell->calls.isEmpty());
    QCOMPARE(rowsOf(main), rows);
    QCOMPARE(main.staMainText->text(), countText(3));
    QVERIFY(!core::gblnAddMode);
    QVERIFY(platform::formIsLoaded<frmMain>());
    QVERIFY(main.isVisible());
    // A next editor starts empty again.
    const EditorSeen next = whileEditorIsOpen(
        [&] { QTest::mouseClick(main.tlbMain->widgetForAction(main.tlbNew), Qt::LeftButton); }, [](frmItem &) {});
    QCOMPARE(next.texts, (QStringList{ {}, {}, {}, {} }));
}

void tst_frmItem::archiveModeStoresAndExtracts_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("stored");
    QTest::addColumn<bool>("extracted");
    QTest::newRow("a pattern that differs only in letter case asks, and Cancel returns to the editor")
        << QStringLiteral("tool*.lzh") << QList<int>{ platform::vbCancel } << true << false << false;
    QTest::newRow("the question's default answer returns to the editor as well")
        << QStringLiteral("tool*.lzh") << QList<int>{} << true << false << false;
    QTest::newRow("after OK on a mismatch the item is stored and nothing is extracted")
        << QStringLiteral("tool*.lzh") << QList<int>{ platform::vbOK } << true << true << false;
    QTest::newRow("a pattern that matches the archive stores the item and extracts the archive")
        << QStringLiteral("Tool##.LZH") << QList<int>{} << false << true << true;
}

void tst_frmItem::archiveModeStoresAndExtracts()
{
    QFETCH(QString, pattern);
    QFETCH(QList<int>, answers);
    QFETCH(bool, asked);
    QFETCH(bool, stored);
    QFETCH(bool, extracted);
    const QList<QStringList> before = lettersRows(QStringLiteral("AB"));
    writeItems(before);
    const QString folder = work(QStringLiteral("Tools/Tool"));
    const QStringList typed = { QStringLiteral("Tool"), pattern, folder, QStringLiteral("readme.txt") };
    frmItem &editor = openForArchive(QStringLiteral("Tool12.LZH"), typed);
    const std::shared_ptr<core::clsItem> archive = core::CurrentItem;
    m_shell->answers = answers;

    QTest::mouseClick(editor.cmdOK, Qt::LeftButton);
    settle();

    QCOMPARE(m_shell->callsOf(QStringLiteral("messageBox")),
        asked ? QStringList{ messageBoxCall(kMismatch, kMismatchQuestion) } : QStringList{});
    if (!stored) {
        // Back in the editor with every field as typed; nothing loaded or written.
        QVERIFY(platform::formIsLoaded<frmItem>());
        QVERIFY(editor.isVisible());
        QCOMPARE(textsOf(editor), typed);
        QVERIFY(!platform::formIsLoaded<frmMain>());
        QVERIFY(m_library->commands.isEmpty());
        QCOMPARE(storedRows(), before);
        return;
    }
    // The item went into the hidden main window, which the editor unloaded
    // with itself: ITEM.DAT holds the new row and no window is left.
    QStringList row = typed;
    row[2] = folder + u'/';
    QCOMPARE(storedRows(), QList<QStringList>(before) << row);
    QVERIFY(!platform::formIsLoaded<frmItem>());
    QVERIFY(!platform::formIsLoaded<frmMain>());
    QCOMPARE(platform::Forms::loadedCount(), 0);
    QVERIFY(!core::gblnAddMode);
    // The record carries the new item's texts into the extraction.
    QCOMPARE(archive->Pattern(), pattern);
    QCOMPARE(archive->Output(), folder + u'/');
    QCOMPARE(archive->Relation(), QStringLiteral("readme.txt"));
    if (extracted) {
        QCOMPARE(m_library->commands.size(), 1);
        QVERIFY2(m_library->commands.first().contains(
                     u'"' + archive->Path() + QStringLiteral("\" \"") + folder + QStringLiteral("/\" \"*.*\"")),
            qPrintable(m_library->commands.first()));
    } else {
        QVERIFY(m_library->commands.isEmpty());
    }
}

void tst_frmItem::leavingInArchiveModeStoresNothingAndUnloadsTheHiddenMainWindow_data()
{
    QTest::addColumn<QString>("way");
    QTest::newRow("the cancel button") << QStringLiteral("cancel");
    QTest::newRow("Esc") << QStringLiteral("esc");
    QTest::newRow("the close box") << QStringLiteral("close");
}

void tst_frmItem::leavingInArchiveModeStoresNothingAndUnloadsTheHiddenMainWindow()
{
    QFETCH(QString, way);
    // A line the list cannot read: it is gone once the main window wrote the
    // file, kept aside beside it, and the hidden window's load said so.
    const QByteArray listed = "\"A\",\"a*.zip\",\"/tools/A/\",\"a.txt\"\r\n\"broken\",\"b*.zip\"\r\n";
    const QString kept = core::itemFilePath() + QStringLiteral(".bak");
    QFile::remove(kept);
    test::writeFile(core::itemFilePath(), listed);
    frmItem &editor = openForArchive(QStringLiteral("Tool12.LZH"),
        { QStringLiteral("Tool"), QStringLiteral("Tool*.LZH"), work(QStringLiteral("T/")), {} });

    if (way == u"cancel")
        QTest::mouseClick(editor.cmdCancel, Qt::LeftButton);
    else if (way == u"esc")
        QTest::keyClick(editor.txtName, Qt::Key_Escape);
    else
        editor.close();
    settle();

    QCOMPARE(m_shell->calls.size(), 1);
    QVERIFY(m_shell->calls.first().startsWith(QStringLiteral("messageBox|")));
    QVERIFY(m_library->commands.isEmpty());
    QVERIFY(!platform::formIsLoaded<frmItem>());
    QVERIFY(!platform::formIsLoaded<frmMain>());
    QCOMPARE(platform::Forms::loadedCount(), 0);
    QVERIFY(!core::gblnAddMode);
    QCOMPARE(storedRows(), lettersRows(QStringLiteral("A")));
    QFile file(core::itemFilePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(!file.readAll().contains("broken"));
    QFile keptFile(kept);
    QVERIFY(keptFile.open(QIODevice::ReadOnly));
    QVERIFY(keptFile.readAll() == listed);
    keptFile.close();
    QFile::remove(kept);
}

void tst_frmItem::relatedFileButtonFollowsTheFolderText_data()
{
    QTest::addColumn<bool>("archiveMode");
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QList<bool>>("enabled");
    QTest::newRow("an existing folder with its slash enables it")
        << false << QStringList{ QStringLiteral("@/Soft/") } << QList<bool>{ true };
    QTest::newRow("an existing folder without its slash enables it")
        << false << QStringList{ QStringLiteral("@/Soft") } << QList<bool>{ true };
    QTest::newRow("a missing folder disables it again")
        << false << QStringList{ QStringLiteral("@/Soft/"), QStringLiteral("@/Missing/") }
        << QList<bool>{ true, false };
    QTest::newRow("emptying the box disables it")
        << false << QStringList{ QStringLiteral("@/Soft/"), QString() } << QList<bool>{ true, false };
    QTest::newRow("the root alone is an existing folder like any other")
        << false << QStringList{ QStringLiteral("/") } << QList<bool>{ true };
    QTest::newRow("a path naming an existing file is found like a folder")
        << false << QStringList{ QStringLiteral("@/Soft/readme.txt") } << QList<bool>{ true };
    QTest::newRow("only one trailing slash is dropped before the lookup")
        << false << QStringList{ QStringLiteral("@/Soft//") } << QList<bool>{ true };
    QTest::newRow("in archive mode a missing folder leaves it enabled")
        << true << QStringList{ QStringLiteral("@/Missing/"), QString() } << QList<bool>{ true, true };
}

void tst_frmItem::relatedFileButtonFollowsTheFolderText()
{
    QFETCH(bool, archiveMode);
    QFETCH(QStringList, typed);
    QFETCH(QList<bool>, enabled);
    core::gblnAddMode = true;
    core::gblnAddFromArchive = archiveMode;
    frmItem &editor = platform::formInstance<frmItem>();
    // As the openers leave it: enabled only by the unmatched-archive dialog.
    editor.cmdRelation->setEnabled(archiveMode);

    QList<bool> seen;
    for (const QString &text : typed) {
        editor.txtFolder->setText(expand(text));
        seen.append(editor.cmdRelation->isEnabled());
    }

    QCOMPARE(seen, enabled);
}

void tst_frmItem::folderButtonTakesThePickedFolder_data()
{
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("picked");
    QTest::addColumn<QString>("browsedFrom");
    QTest::addColumn<QString>("result");
    QTest::addColumn<bool>("relationEnabled");
    QTest::newRow("a picked folder comes back with a trailing slash and enables the related file")
        << QStringLiteral("@/Missing/") << QStringLiteral("@/Soft") << QStringLiteral("@/Missing")
        << QStringLiteral("@/Soft/") << true;
    QTest::newRow("the picked root stays a single slash")
        << QStringLiteral("@/Soft/") << QStringLiteral("/") << QStringLiteral("@/Soft") << QStringLiteral("/") << true;
    QTest::newRow("cancelling the browser keeps the typed folder")
        << QStringLiteral("@/Missing") << QString() << QStringLiteral("@/Missing") << QStringLiteral("@/Missing")
        << false;
}

void tst_frmItem::folderButtonTakesThePickedFolder()
{
    QFETCH(QString, current);
    QFETCH(QString, picked);
    QFETCH(QString, browsedFrom);
    QFETCH(QString, result);
    QFETCH(bool, relationEnabled);
    frmMain &main = openMain({});
    whileEditorIsOpen([&] { QTest::mouseClick(main.tlbMain->widgetForAction(main.tlbNew), Qt::LeftButton); },
        [&](frmItem &editor) {
            editor.txtFolder->setText(expand(current));
            m_shell->pickedFolder = expand(picked);
            QTest::mouseClick(editor.cmdFolder, Qt::LeftButton);
            const QStringList browses = m_shell->callsOf(QStringLiteral("browse"));
            QCOMPARE(browses.size(), 1);
            QCOMPARE(browses.first().section(u'|', 2, 2), expand(browsedFrom));
            QCOMPARE(editor.txtFolder->text(), expand(result));
            QCOMPARE(editor.cmdRelation->isEnabled(), relationEnabled);
        });
    QVERIFY(m_leftOpen);
}

void tst_frmItem::helpOpensTheEditorsTopic()
{
    frmMain &main = openMain({});
    whileEditorIsOpen([&] { QTest::mouseClick(main.tlbMain->widgetForAction(main.tlbNew), Qt::LeftButton); },
        [&](frmItem &editor) {
            QTest::mouseClick(editor.cmdHelp, Qt::LeftButton);
            // The help stays beside the executable; the editor stays open.
            QVERIFY(platform::formIsLoaded<frmItem>());
            QCOMPARE(m_shell->calls,
                QStringList{ QStringLiteral("help|%1|%2|10")
                                 .arg(platform::executableFolder() + QStringLiteral("help/index.html"))
                                 .arg(int(platform::Shell::Help::Context)) });
        });
    QVERIFY(m_leftOpen);
}

namespace {

core::ItemOptions optionsNamed(const QString &encoding, bool strip)
{
    core::ItemOptions options;
    options.nameEncoding = encoding;
    options.stripTopFolder = strip;
    return options;
}

} // namespace

void tst_frmItem::optionsFollowTheItemThroughEditSortAndDelete()
{
    QList<QStringList> rows = lettersRows(QStringLiteral("CAB"));
    frmMain *main = &openMain(rows);
    const auto editRow = [&](int row, const std::function<void(frmItem &)> &act) {
        main->selectRow(row);
        return whileEditorIsOpen(
            [&] { QTest::mouseClick(main->tlbMain->widgetForAction(main->tlbEdit), Qt::LeftButton); }, act);
    };
    // B gets GBK and the top folder taken off.
    editRow(2, [](frmItem &editor) {
        editor.cboEncoding->setCurrentIndex(editor.cboEncoding->findText(QStringLiteral("GBK")));
        editor.chkStripTop->setChecked(true);
        QTest::mouseClick(editor.cmdOK, Qt::LeftButton);
    });
    QCOMPARE(main->rowOptions(2), optionsNamed(QStringLiteral("GBK"), true));
    QCOMPARE(main->rowOptions(0), core::ItemOptions());

    // Sorting moves rows, not options.
    main->lvwMain->horizontalHeader()->sectionClicked(0);
    main->lvwMain->horizontalHeader()->sectionClicked(0); // the second click sorts ascending
    settle();
    QCOMPARE(main->rowTexts(1).at(0), QStringLiteral("B"));
    QCOMPARE(main->rowOptions(1), optionsNamed(QStringLiteral("GBK"), true));

    // The editor shows them again, and an edit of the texts takes them along.
    bool shownChecked = false;
    QString shownEncoding;
    editRow(1, [&](frmItem &editor) {
        shownChecked = editor.chkStripTop->isChecked();
        shownEncoding = editor.cboEncoding->currentText();
        editor.txtName->setText(QStringLiteral("B2"));
        editor.cboEncoding->setCurrentIndex(editor.cboEncoding->findText(QStringLiteral("CP437")));
        QTest::mouseClick(editor.cmdOK, Qt::LeftButton);
    });
    QVERIFY(shownChecked);
    QCOMPARE(shownEncoding, QStringLiteral("GBK"));
    // An editor opened for another row starts from that row's options.
    editRow(0, [&](frmItem &editor) {
        shownChecked = editor.chkStripTop->isChecked();
        shownEncoding = editor.cboEncoding->currentText();
    });
    QVERIFY(!shownChecked);
    QCOMPARE(shownEncoding, QStringLiteral("自動"));

    // Saved beside the list on unload; ITEM.DAT holds only the four texts.
    main->Unload();
    settle();
    const core::ItemRecord b2{ QStringLiteral("B2"), QStringLiteral("b*.zip"), QStringLiteral("/tools/B/"),
        QStringLiteral("b.txt") };
    const core::ItemOptionsMap stored = core::ItemOptionsFile(core::itemFilePath()).read();
    QCOMPARE(stored.keys(), QList<core::ItemRecord>{ b2 });
    QCOMPARE(stored.value(b2), optionsNamed(QStringLiteral("CP437"), true));

    // Loaded again with the list; deleting the item deletes its options.
    main = &platform::formInstance<frmMain>();
    main->Show();
    settle();
    int row = -1;
    for (int r = 0; r < main->lvwMain->rowCount(); ++r)
        if (main->rowTexts(r).at(0) == u"B2")
            row = r;
    QVERIFY(row >= 0);
    QCOMPARE(main->rowOptions(row), optionsNamed(QStringLiteral("CP437"), true));
    core::gblnNoRemoveBox = true;
    main->selectRow(row);
    QTest::mouseClick(main->tlbMain->widgetForAction(main->tlbDelete), Qt::LeftButton);
    core::gblnNoRemoveBox = false;
    main->Unload();
    settle();
    QVERIFY(core::ItemOptionsFile(core::itemFilePath()).read().isEmpty());
}

void tst_frmItem::archiveModeExtractsWithTheOptionsChosen()
{
    frmItem &editor = openForArchive(QStringLiteral("tool-1.0.lzh"),
        { QStringLiteral("Tool"), QStringLiteral("tool-*.lzh"), work(QStringLiteral("Soft/")), QString() });
    editor.cboEncoding->setCurrentIndex(editor.cboEncoding->findData(QStringLiteral("BIG5")));
    editor.chkStripTop->setChecked(true);
    QTest::mouseClick(editor.cmdOK, Qt::LeftButton);
    settle();
    QCOMPARE(m_library->commands.size(), 1);
    QVERIFY2(m_library->commands.first().contains(QStringLiteral(" --strip-top --names=BIG5 ")),
        qPrintable(m_library->commands.first()));
    const core::ItemOptionsMap stored = core::ItemOptionsFile(core::itemFilePath()).read();
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored.cbegin().value(), optionsNamed(QStringLiteral("BIG5"), true));
}

QTEST_MAIN(tst_frmItem)
#include "tst_frmItem.moc"
