#include "core/ItemFile.h"
#include "core/clsItem.h"
#include "core/modRegistry.h"
#include "platform/archiver/ArchiverRegistry.h"
#include "platform/gui/Form.h"
#include "support/FakeArchiver.h"
#include "support/Forms.h"
#include "support/ItemList.h"
#include "support/RecordingShell.h"
#include "support/TestSupport.h"
#include "ui/dialogs/frmItem.h"
#include "ui/dialogs/frmMelt.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

using namespace pellora;
using namespace Qt::Literals::StringLiterals;
using ui::frmMelt;

namespace {

// Settings as they are before the dialog is used: absent.
constexpr int kAbsent = -99;

int storedNumber(const core::Setting &setting)
{
    return core::readNumber(setting, kAbsent);
}

const QString kEmptyFolderMessage = QStringLiteral("messageBox|解凍先フォルダを入力してください。|48|Pellora");

QString unreadableVolumeMessage(const QString &root)
{
    return QStringLiteral("messageBox|") + root + QStringLiteral(" にアクセスできません。") + QStringLiteral("\r\n\r\n")
        + QStringLiteral("デバイスの準備ができていません。") + QStringLiteral("|21|Pellora");
}

} // namespace

class tst_frmMelt : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void archiveBaseName_data();
    void archiveBaseName();
    void volumeRootIsTheMountPointHoldingThePath_data();
    void volumeRootIsTheMountPointHoldingThePath();
    void proposesTheTargetFolder_data();
    void proposesTheTargetFolder();
    void folderListShowsTheProposalOrTheCurrentFolder_data();
    void folderListShowsTheProposalOrTheCurrentFolder();
    void showsTheStoredChoices_data();
    void showsTheStoredChoices();
    void extractsWithTheChosenOptionsAndStoresThem_data();
    void extractsWithTheChosenOptionsAndStoresThem();
    void unusableTargetFolderIsRefusedAndTheDialogStays_data();
    void unusableTargetFolderIsRefusedAndTheDialogStays();
    void leavingExtractsNothingAndStoresNothing_data();
    void leavingExtractsNothingAndStoresNothing();
    void addPreparesTheEditorForTheArchive_data();
    void addPreparesTheEditorForTheArchive();
    void clickingAFolderMakesItTheTarget();
    void everyAcceleratorIsItsOwn();
    void opensCentredOnTheScreenNotOnTheActiveWindow();
    void anUnreadableVolumeAsksAndCancelKeepsThePreviousOne_data();
    void anUnreadableVolumeAsksAndCancelKeepsThePreviousOne();
    void aVolumePickedAgainOpensAtTheFolderItShowed();
    void aMountTableWithoutTheRootStillShowsEveryFolder_data();
    void aMountTableWithoutTheRootStillShowsEveryFolder();

private:
    // Makes CurrentItem an archive called name that the fake libraries accept,
    // with output as the proposed folder, and shows the dialog.
    frmMelt &open(const QString &name, const QString &output);
    QString work(const QString &relative) const { return m_work->filePath(relative); }

    QTemporaryDir m_config;
    std::unique_ptr<QTemporaryDir> m_work;
    std::shared_ptr<test::FakeArchiver> m_library;
    std::unique_ptr<test::RecordingShell> m_shell;
    QString m_archive;
};

void tst_frmMelt::initTestCase()
{
    QVERIFY(test::isolateSettings(m_config));
    QVERIFY(test::itemListIsPrivate());
}

void tst_frmMelt::init()
{
    core::DeleteSettingsKey();
    // No result window: extraction returns straight to the test.
    core::writeYesNo(core::setting(u"NoLog"), true);
    m_work = std::make_unique<QTemporaryDir>();
    m_library = std::make_shared<test::FakeArchiver>();
    m_shell = std::make_unique<test::RecordingShell>();
    core::gblnAddMode = false;
    core::gblnAddFromArchive = false;
}

void tst_frmMelt::cleanup()
{
    test::unloadForms<frmMelt, ui::frmItem>();
    core::CurrentItem.reset();
    m_shell.reset();
    arc::ArchiverRegistry::restoreBuiltIns();
    // Closing the editor stores the item list beside the test.
    test::removeItemFile();
}

frmMelt &tst_frmMelt::open(const QString &name, const QString &output)
{
    m_archive = work(QStringLiteral("dl/") + name);
    QDir().mkpath(work(QStringLiteral("dl")));
    QFile file(m_archive);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot create the archive");
    file.close();
    m_library->accepts = { m_archive };
    arc::ArchiverRegistry::install(QString::fromLatin1(arc::kUnlhaLibrary), m_library);
    arc::ArchiverRegistry::install(QString::fromLatin1(arc::kUnzipLibrary), m_library);
    core::CurrentItem = std::make_shared<core::clsItem>(QStringList{ m_archive });
    core::CurrentItem->setOutput(output);
    frmMelt &dialog = platform::formInstance<frmMelt>();
    dialog.Show(platform::vbModeless);
    return dialog;
}

void tst_frmMelt::archiveBaseName_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("expected");
    QTest::newRow("trailing digits are dropped with the extension") << "tool123.lzh"
                                                                    << "tool";
    QTest::newRow("only the digits at the end go, not those inside") << "setup_v2.lzh"
                                                                     << "setup_v";
    QTest::newRow("a name of digits only leaves nothing") << "2002.lzh"
                                                          << "";
    QTest::newRow("a name without a dot is kept whole") << "readme"
                                                        << "readme";
    QTest::newRow("only the last dot starts the extension") << "v1.2.3.zip"
                                                            << "v1.2.";
    QTest::newRow("letter case is kept") << "Foo123.LZH"
                                         << "Foo";
    QTest::newRow("a compressed tar loses both extensions and its version") << "foo-1.2.3.tar.xz"
                                                                            << "foo-";
    QTest::newRow("a single compressed file keeps its inner dots") << "notes1.2.txt.gz"
                                                                   << "notes1.2.txt";
}

void tst_frmMelt::archiveBaseName()
{
    QFETCH(QString, fileName);
    QFETCH(QString, expected);
    QCOMPARE(frmMelt::ArchiveBaseName(fileName), expected);
}

void tst_frmMelt::volumeRootIsTheMountPointHoldingThePath_data()
{
    QTest::addColumn<QStringList>("volumes"); // the mount table's roots
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    const QStringList table{ u"/"_s, u"/srv/data"_s, u"/media/usb"_s };
    QTest::newRow("the file system's root") << table << "/"
                                            << "/";
    QTest::newRow("a mount point itself") << table << "/srv/data"
                                          << "/srv/data";
    QTest::newRow("a folder that does not exist yet, on a mounted volume") << table << "/srv/data/no/such/"
                                                                           << "/srv/data";
    QTest::newRow("a name that only begins like a mount point") << table << "/srv/database/x"
                                                                << "/";
    QTest::newRow("a mount table without \"/\", as in a chroot") << QStringList{ u"/proc"_s, u"/dev"_s } << "/srv/x"
                                                                 << "/";
}

void tst_frmMelt::volumeRootIsTheMountPointHoldingThePath()
{
    QFETCH(QStringList, volumes);
    QFETCH(QString, path);
    QFETCH(QString, expected);
    m_shell->volumes = volumes;
    QCOMPARE(frmMelt::volumeRoot(path), expected);
}

void tst_frmMelt::proposesTheTargetFolder_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("addArchiveName");
    QTest::addColumn<QString>("proposal"); // relative to the work folder
    QTest::addColumn<QString>("expected"); // relative to the work folder

    QTest::newRow("the proposal is shown as it is") << "tool123.lzh" << false << "Soft/"
                                                    << "Soft/";
    QTest::newRow("with AddArchiveName the archive's base name becomes a folder of it")
        << "Foo123.LZH" << true << "Soft/"
        << "Soft/Foo/";
    QTest::newRow("with AddArchiveName a name of digits only adds just a separator") << "2002.zip" << true << "Soft/"
                                                                                     << "Soft//";
    QTest::newRow("with AddArchiveName a name without a dot is used whole") << "readme" << true << "Soft/"
                                                                            << "Soft/readme/";
}

void tst_frmMelt::proposesTheTargetFolder()
{
    QFETCH(QString, name);
    QFETCH(bool, addArchiveName);
    QFETCH(QString, proposal);
    QFETCH(QString, expected);
    core::writeYesNo(core::setting(u"AddArchiveName"), addArchiveName);
    const QString base = m_work->path() + u'/';
    frmMelt &dialog = open(name, base + proposal);
    QCOMPARE(dialog.txtTargetFolder->text(), base + expected);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Pellora - ") + name + QStringLiteral(" の解凍"));
    // The field to type in has the focus, and Enter extracts.
    QCOMPARE(dialog.focusWidget(), dialog.txtTargetFolder);
    QVERIFY(dialog.cmdMelt->isDefault());
}

void tst_frmMelt::folderListShowsTheProposalOrTheCurrentFolder_data()
{
    QTest::addColumn<bool>("proposalExists");
    QTest::newRow("a proposal that exists is the list's current folder") << true;
    QTest::newRow("a proposal that does not exist yet leaves the list at the current folder") << false;
}

void tst_frmMelt::folderListShowsTheProposalOrTheCurrentFolder()
{
    QFETCH(bool, proposalExists);
    const QString proposal = work(QStringLiteral("Soft/Tools"));
    if (proposalExists)
        QVERIFY(QDir().mkpath(proposal));
    // The work folder stands for a volume of its own; the current folder lies
    // on "/".
    m_shell->volumes = QStringList{ u"/"_s, m_work->path() };
    frmMelt &dialog = open(QStringLiteral("tool.lzh"), proposal + u'/');
    const QString expected = proposalExists ? proposal : QDir::currentPath();
    QCOMPARE(dialog.shownFolder(), expected);
    QVERIFY(dialog.dirMelt->isExpanded(dialog.dirMelt->currentIndex()));
    // The drive list shows the volume of the proposal, the list is rooted at
    // the volume of the folder it shows.
    QCOMPARE(dialog.drvMelt->currentText(), m_work->path());
    auto *model = qobject_cast<QFileSystemModel *>(dialog.dirMelt->model());
    QVERIFY(model);
    QCOMPARE(model->filePath(dialog.dirMelt->rootIndex()), proposalExists ? m_work->path() : u"/"_s);
}

void tst_frmMelt::showsTheStoredChoices_data()
{
    QTest::addColumn<int>("runExplorer"); // kAbsent: not stored
    QTest::addColumn<int>("operation"); // kAbsent: not stored
    QTest::addColumn<bool>("checked");
    QTest::addColumn<int>("selected");

    QTest::newRow("nothing stored clears the box and selects the first option") << kAbsent << kAbsent << false << 0;
    QTest::newRow("stored choices are shown") << 1 << 2 << true << 2;
    QTest::newRow("the last option can be stored") << 0 << 3 << false << 3;
    QTest::newRow("an operation above the options selects the first") << 1 << 4 << true << 0;
    QTest::newRow("a negative operation selects the first") << 0 << -1 << false << 0;
}

void tst_frmMelt::showsTheStoredChoices()
{
    QFETCH(int, runExplorer);
    QFETCH(int, operation);
    QFETCH(bool, checked);
    QFETCH(int, selected);
    if (runExplorer != kAbsent)
        core::writeNumber(core::setting(u"RunExplorer"), runExplorer);
    if (operation != kAbsent)
        core::writeNumber(core::setting(u"ArchiveOperation"), operation);
    frmMelt &dialog = open(QStringLiteral("tool.lzh"), work(QStringLiteral("Soft/")));
    QCOMPARE(dialog.chkRunExplorer->isChecked(), checked);
    for (int index = 0; index < 4; ++index)
        QCOMPARE(dialog.optArchiveOperation[index]->isChecked(), index == selected);
}

void tst_frmMelt::extractsWithTheChosenOptionsAndStoresThem_data()
{
    QTest::addColumn<int>("option");
    QTest::addColumn<bool>("runExplorer");
    QTest::addColumn<QString>("typed"); // relative to the work folder
    QTest::addColumn<QString>("disposal"); // the shell call after extraction, with <archive> and <target>
    QTest::addColumn<QString>("encoding"); // the name encoding picked, "" for 自動

    QTest::newRow("leaving the archive does nothing with it") << 0 << false << "Out/"
                                                              << ""
                                                              << "";
    QTest::newRow("the recycle bin option moves it to the trash and the filer opens") << 1 << true << "Out/"
                                                                                      << "trash|<archive>"
                                                                                      << "GBK";
    QTest::newRow("the move option moves it, a folder typed without separator gets one")
        << 2 << false << "Out"
        << "move|<archive>|<target>tool.lzh"
        << "";
    QTest::newRow("the copy option copies it") << 3 << true << "Out/"
                                               << "copy|<archive>|<target>tool.lzh"
                                               << "CP437";
}

void tst_frmMelt::extractsWithTheChosenOptionsAndStoresThem()
{
    QFETCH(int, option);
    QFETCH(bool, runExplorer);
    QFETCH(QString, typed);
    QFETCH(QString, disposal);
    QFETCH(QString, encoding);
    frmMelt &dialog = open(QStringLiteral("tool.lzh"), work(QStringLiteral("Soft/")));
    QCOMPARE(dialog.cboEncoding->currentText(), QStringLiteral("自動"));
    dialog.cboEncoding->setCurrentIndex(dialog.cboEncoding->findData(encoding));
    dialog.txtTargetFolder->setText(work(typed));
    dialog.optArchiveOperation[option]->click();
    if (dialog.chkRunExplorer->isChecked() != runExplorer)
        dialog.chkRunExplorer->click();
    QTest::keyClick(dialog.txtTargetFolder, Qt::Key_Return); // Enter presses "extract"

    const QString target = work(QStringLiteral("Out/"));
    QCOMPARE(storedNumber(core::setting(u"ArchiveOperation")), option);
    QCOMPARE(storedNumber(core::setting(u"RunExplorer")), runExplorer ? 1 : 0);
    QCOMPARE(m_library->commands.size(), 1);
    QVERIFY2(m_library->commands.first().contains(QStringLiteral("\"%1\" \"*.*\"").arg(target)),
        qPrintable(m_library->commands.first()));
    QCOMPARE(m_library->commands.first().contains(QStringLiteral(" --names=") + encoding + u' '), !encoding.isEmpty());
    QCOMPARE(m_library->commands.first().contains(QStringLiteral("--names")), !encoding.isEmpty());
    QCOMPARE(m_shell->callsOf(QStringLiteral("messageBox")), QStringList());
    const QStringList afterwards = m_shell->calls;
    QStringList expected;
    if (!disposal.isEmpty())
        expected << QString(disposal)
                        .replace(QStringLiteral("<archive>"), m_archive)
                        .replace(QStringLiteral("<target>"), target);
    if (runExplorer)
        expected << QStringLiteral("start|xdg-open  \"%1\"").arg(target.chopped(1));
    QCOMPARE(afterwards, expected);
    // The dialog is done, and so is the record.
    QVERIFY(!platform::formIsLoaded<frmMelt>());
    QVERIFY(!core::CurrentItem);
}

void tst_frmMelt::unusableTargetFolderIsRefusedAndTheDialogStays_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    const QString notAbsolute = QStringLiteral(
        "messageBox|解凍先フォルダ「%1」は絶対パスではありません。\n/ で始まるフォルダを指定してください。|48|Pellora");
    QTest::newRow("an empty folder") << QString() << kEmptyFolderMessage;
    QTest::newRow("a Windows folder from an item list written there")
        << QStringLiteral("C:\\Program Files\\Foo\\") << notAbsolute.arg(QStringLiteral("C:\\Program Files\\Foo\\"));
    QTest::newRow("a folder relative to the current one")
        << QStringLiteral("soft/") << notAbsolute.arg(QStringLiteral("soft/"));
    QTest::newRow("a folder below ~, which no shell expands here")
        << QStringLiteral("~/Tools") << notAbsolute.arg(QStringLiteral("~/Tools"));
}

void tst_frmMelt::unusableTargetFolderIsRefusedAndTheDialogStays()
{
    QFETCH(QString, typed);
    frmMelt &dialog = open(QStringLiteral("tool.lzh"), work(QStringLiteral("Soft/")));
    dialog.txtTargetFolder->setText(typed);
    dialog.optArchiveOperation[2]->click();
    dialog.chkRunExplorer->click();
    dialog.cmdMelt->click();

    QFETCH(QString, message);
    QCOMPARE(m_shell->calls, QStringList{ message });
    QVERIFY(m_library->commands.isEmpty());
    QCOMPARE(storedNumber(core::setting(u"ArchiveOperation")), kAbsent);
    QCOMPARE(storedNumber(core::setting(u"RunExplorer")), kAbsent);
    QVERIFY(platform::formIsLoaded<frmMelt>());
    QVERIFY(dialog.isVisible());
    QVERIFY(core::CurrentItem);

    // Given a folder, the same dialog extracts after all.
    dialog.txtTargetFolder->setText(work(QStringLiteral("Out/")));
    dialog.cmdMelt->click();
    QCOMPARE(m_library->commands.size(), 1);
    QCOMPARE(storedNumber(core::setting(u"ArchiveOperation")), 2);
}

void tst_frmMelt::leavingExtractsNothingAndStoresNothing_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Esc in the target field") << "esc";
    QTest::newRow("the cancel button") << "cancel";
    QTest::newRow("the close box") << "close";
}

void tst_frmMelt::leavingExtractsNothingAndStoresNothing()
{
    QFETCH(QString, how);
    frmMelt &dialog = open(QStringLiteral("tool.lzh"), work(QStringLiteral("Soft/")));
    dialog.optArchiveOperation[3]->click();
    dialog.chkRunExplorer->click();
    if (how == u"esc")
        QTest::keyClick(dialog.txtTargetFolder, Qt::Key_Escape);
    else if (how == u"cancel")
        QTest::mouseClick(dialog.cmdCancel, Qt::LeftButton);
    else
        dialog.close();

    QVERIFY(!platform::formIsLoaded<frmMelt>());
    QVERIFY(m_library->commands.isEmpty());
    QVERIFY(m_shell->calls.isEmpty());
    QCOMPARE(storedNumber(core::setting(u"ArchiveOperation")), kAbsent);
    QCOMPARE(storedNumber(core::setting(u"RunExplorer")), kAbsent);
    QVERIFY(!core::gblnAddMode);
}

void tst_frmMelt::addPreparesTheEditorForTheArchive_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("addFolderName");
    QTest::addColumn<QString>("typed"); // relative to the work folder; "-" leaves the field empty
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("folder"); // relative to the work folder
    QTest::addColumn<QString>("softwareName");

    QTest::newRow("trailing digits leave the pattern, the name stays empty") << "Foo123.LZH" << false << "Soft/Foo/"
                                                                             << "Foo*.LZH"
                                                                             << "Soft/Foo/"
                                                                             << "";
    QTest::newRow("a name of digits only stays whole in the pattern") << "2002.zip" << false << "Soft/"
                                                                      << "2002*.zip"
                                                                      << "Soft/"
                                                                      << "";
    QTest::newRow("a name without a dot gives a pattern without extension") << "readme" << false << "Soft/"
                                                                            << "readme*"
                                                                            << "Soft/"
                                                                            << "";
    QTest::newRow("with AddFolderName the folder's last part names the software")
        << "tool1.lzh" << true << "Tools/Viewer/"
        << "tool*.lzh"
        << "Tools/Viewer/"
        << "Viewer";
    QTest::newRow("a folder typed without separator gets one and still names the software")
        << "tool1.lzh" << true << "Tools/Viewer"
        << "tool*.lzh"
        << "Tools/Viewer/"
        << "Viewer";
    QTest::newRow("an empty folder stays empty and names nothing") << "tool1.lzh" << true << "-"
                                                                   << "tool*.lzh"
                                                                   << "-"
                                                                   << "";
}

void tst_frmMelt::addPreparesTheEditorForTheArchive()
{
    QFETCH(QString, name);
    QFETCH(bool, addFolderName);
    QFETCH(QString, typed);
    QFETCH(QString, pattern);
    QFETCH(QString, folder);
    QFETCH(QString, softwareName);
    core::writeYesNo(core::setting(u"AddFolderName"), addFolderName);
    frmMelt &dialog = open(name, work(QStringLiteral("Soft/")));
    dialog.txtTargetFolder->setText(typed == u"-" ? QString() : work(typed));
    dialog.optArchiveOperation[1]->click(); // not stored on this road
    dialog.cboEncoding->setCurrentIndex(dialog.cboEncoding->findData(QStringLiteral("EUC-KR")));
    // The button's mnemonic answers only in the active window.
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClick(&dialog, Qt::Key_A, Qt::AltModifier);
    // A mnemonic presses its button visibly, so the click comes a moment later.
    QTRY_VERIFY(!platform::formIsLoaded<frmMelt>());
    QVERIFY(platform::formIsLoaded<ui::frmItem>());
    ui::frmItem &editor = platform::formInstance<ui::frmItem>();
    QVERIFY(editor.isVisible());
    QVERIFY(!editor.isModal());
    QCOMPARE(editor.windowTitle(), QStringLiteral("Pellora - 新しいアイテム (") + name + QStringLiteral(")"));
    QCOMPARE(editor.txtName->text(), softwareName);
    QCOMPARE(editor.txtPattern->text(), pattern);
    QCOMPARE(editor.txtFolder->text(), folder == u"-" ? QString() : work(folder));
    QVERIFY(editor.cmdRelation->isEnabled());
    QCOMPARE(editor.itemOptions().nameEncoding, QStringLiteral("EUC-KR"));
    QVERIFY(!editor.itemOptions().stripTopFolder);
    QVERIFY(core::gblnAddMode);
    QVERIFY(core::gblnAddFromArchive);
    // The editor carries on with the record; nothing was extracted or stored yet.
    QVERIFY(core::CurrentItem);
    QVERIFY(m_library->commands.isEmpty());
    QCOMPARE(storedNumber(core::setting(u"ArchiveOperation")), kAbsent);
}

void tst_frmMelt::everyAcceleratorIsItsOwn()
{
    // Two controls with one letter: the key reaches whichever comes first.
    for (QWidget *form : { static_cast<QWidget *>(&open(QStringLiteral("tool.lzh"), work(QStringLiteral("Soft/")))),
             static_cast<QWidget *>(&platform::formInstance<ui::frmItem>()) }) {
        QStringList letters;
        const QRegularExpression mnemonic(QStringLiteral("&([A-Za-z])"));
        for (QWidget *w : form->findChildren<QWidget *>()) {
            QString text;
            if (auto *label = qobject_cast<QLabel *>(w))
                text = label->text();
            else if (auto *button = qobject_cast<QAbstractButton *>(w))
                text = button->text();
            if (const QRegularExpressionMatch m = mnemonic.match(text); m.hasMatch())
                letters << m.captured(1).toUpper();
        }
        QVERIFY(letters.size() >= 4);
        QCOMPARE(QSet<QString>(letters.begin(), letters.end()).size(), letters.size());
    }
    platform::formInstance<ui::frmItem>().Unload();
}

void tst_frmMelt::clickingAFolderMakesItTheTarget()
{
    QVERIFY(QDir().mkpath(work(QStringLiteral("Soft/Viewer"))));
    QVERIFY(QDir().mkpath(work(QStringLiteral("Soft/Editor"))));
    frmMelt &dialog = open(QStringLiteral("tool.lzh"), work(QStringLiteral("Soft/")));
    auto *model = qobject_cast<QFileSystemModel *>(dialog.dirMelt->model());
    QVERIFY(model);
    const QModelIndex viewer = model->index(work(QStringLiteral("Soft/Viewer")));
    QVERIFY(viewer.isValid());
    Q_EMIT dialog.dirMelt->clicked(viewer);
    QCOMPARE(dialog.txtTargetFolder->text(), work(QStringLiteral("Soft/Viewer/")));
    // Moving to another folder with the keyboard picks it too.
    dialog.dirMelt->setCurrentIndex(model->index(work(QStringLiteral("Soft/Editor"))));
    QCOMPARE(dialog.txtTargetFolder->text(), work(QStringLiteral("Soft/Editor/")));
}

void tst_frmMelt::opensCentredOnTheScreenNotOnTheActiveWindow()
{
    QWidget active;
    active.setGeometry(0, 0, 200, 150);
    active.show();
    QApplication::setActiveWindow(&active);
    frmMelt &dialog = open(QStringLiteral("tool.lzh"), work(QStringLiteral("Soft/")));
    const QScreen *screen = QGuiApplication::primaryScreen();
    QVERIFY(screen);
    const QPoint off = dialog.frameGeometry().center() - screen->availableGeometry().center();
    // A few pixels of rounding and frame; on the active window it would be
    // hundreds off.
    QVERIFY2(
        qAbs(off.x()) <= 4 && qAbs(off.y()) <= 4, qPrintable(QStringLiteral("off by %1,%2").arg(off.x()).arg(off.y())));
}

void tst_frmMelt::anUnreadableVolumeAsksAndCancelKeepsThePreviousOne_data()
{
    QTest::addColumn<QList<int>>("answers");
    QTest::newRow("Cancel at once") << QList<int>{ platform::vbCancel };
    QTest::newRow("Retry asks again, then Cancel") << QList<int>{ platform::vbRetry, platform::vbCancel };
}

void tst_frmMelt::anUnreadableVolumeAsksAndCancelKeepsThePreviousOne()
{
    QFETCH(QList<int>, answers);
    QVERIFY(QDir().mkpath(work(QStringLiteral("Soft"))));
    frmMelt &dialog = open(QStringLiteral("tool.lzh"), work(QStringLiteral("Soft/")));
    const QString previousVolume = dialog.drvMelt->currentText();
    const QString previousFolder = dialog.shownFolder();
    // A volume that went away after the list was filled.
    const QString gone = work(QStringLiteral("gone"));
    dialog.drvMelt->addItem(gone);
    m_shell->answers = answers;
    dialog.drvMelt->setCurrentIndex(dialog.drvMelt->count() - 1);

    QStringList expected;
    for (int i = 0; i < answers.size(); ++i)
        expected << unreadableVolumeMessage(gone + u'/');
    QCOMPARE(m_shell->calls, expected);
    QCOMPARE(dialog.drvMelt->currentText(), previousVolume);
    QCOMPARE(dialog.shownFolder(), previousFolder);
}

void tst_frmMelt::aVolumePickedAgainOpensAtTheFolderItShowed()
{
    QVERIFY(QDir().mkpath(work(QStringLiteral("Soft/Tools"))));
    QVERIFY(QDir().mkpath(work(QStringLiteral("Other/Inner"))));
    frmMelt &dialog = open(QStringLiteral("tool.lzh"), work(QStringLiteral("Soft/Tools/")));
    const int first = dialog.drvMelt->currentIndex();
    // Any readable folder can stand for a second volume.
    const QString other = work(QStringLiteral("Other"));
    dialog.drvMelt->addItem(other);
    dialog.drvMelt->setCurrentIndex(dialog.drvMelt->count() - 1);
    QVERIFY(m_shell->calls.isEmpty());
    QCOMPARE(dialog.shownFolder(), other);

    dialog.drvMelt->setCurrentIndex(first);
    QCOMPARE(dialog.shownFolder(), work(QStringLiteral("Soft/Tools")));
    // Changing volumes does not touch the target text.
    QCOMPARE(dialog.txtTargetFolder->text(), work(QStringLiteral("Soft/Tools/")));
}

void tst_frmMelt::aMountTableWithoutTheRootStillShowsEveryFolder_data()
{
    QTest::addColumn<QStringList>("volumes"); // relative to the work folder
    QTest::newRow("no volume listed at all") << QStringList();
    QTest::newRow("other volumes listed, \"/\" not") << QStringList{ u"Other"_s };
}

void tst_frmMelt::aMountTableWithoutTheRootStillShowsEveryFolder()
{
    QFETCH(QStringList, volumes);
    QVERIFY(QDir().mkpath(work(QStringLiteral("Soft/Tools"))));
    QVERIFY(QDir().mkpath(work(QStringLiteral("Other"))));
    QStringList table;
    for (const QString &volume : volumes)
        table << work(volume);
    m_shell->volumes = table;
    // Were "/" taken for a device that is not ready, Retry would ask forever.
    m_shell->answers = { platform::vbCancel, platform::vbCancel };
    frmMelt &dialog = open(QStringLiteral("tool.lzh"), work(QStringLiteral("Soft/Tools/")));
    QCOMPARE(m_shell->calls, QStringList());
    QCOMPARE(dialog.drvMelt->currentText(), u"/"_s);
    QCOMPARE(dialog.shownFolder(), work(QStringLiteral("Soft/Tools")));

    // Picking "/" again after another volume opens it where it was left.
    if (!table.isEmpty()) {
        dialog.drvMelt->setCurrentIndex(dialog.drvMelt->findText(table.first()));
        QCOMPARE(dialog.shownFolder(), table.first());
        dialog.drvMelt->setCurrentIndex(dialog.drvMelt->findText(u"/"_s));
        QCOMPARE(dialog.shownFolder(), work(QStringLiteral("Soft/Tools")));
    }
    QCOMPARE(m_shell->calls, QStringList());
}

QTEST_MAIN(tst_frmMelt)
#include "tst_frmMelt.moc"
