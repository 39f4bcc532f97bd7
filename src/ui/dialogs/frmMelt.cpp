#include "ui/dialogs/frmMelt.h"

#include "core/TargetFolder.h"
#include "core/clsItem.h"
#include "core/modRegistry.h"
#include "platform/Paths.h"
#include "platform/Shell.h"
#include "platform/archiver/ArchiveNaming.h"
#include "platform/gui/Placement.h"
#include "platform/gui/Twips.h"
#include "ui/dialogs/ArchiveOperationButtons.h"
#include "ui/dialogs/NameEncodingBox.h"
#include "ui/dialogs/frmItem.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTreeView>

#include <filesystem>
#include <system_error>

namespace pellora::ui {

using platform::kPathSeparator;
using platform::place;
using platform::twips;

namespace {

const QString kTitle = QStringLiteral("Pellora");

QString withoutDigitsAtEnd(const QString &text)
{
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) >= u'0' && text.at(end - 1) <= u'9')
        --end;
    return text.left(end);
}

// What goes before the "*" of a name with a compressed tar's extension: the
// version at its end, digits and the dots between them ("foo-1.2.3" ->
// "foo-"). Other names keep their inner dots as they always did.
QString withoutDigitsAtEnd(const QString &base, const QString &extension)
{
    if (extension.count(u'.') < 2)
        return withoutDigitsAtEnd(base);
    qsizetype end = base.size();
    while (end > 0 && ((base.at(end - 1) >= u'0' && base.at(end - 1) <= u'9') || base.at(end - 1) == u'.'))
        --end;
    return base.left(end);
}

// Whether the folder list can show a volume: its root is a folder that can
// be listed. The mount table is not asked: where "/" is no mount point of its
// own (a chroot) it calls the root "not ready" although every folder is there.
bool volumeAccessible(const QString &root)
{
    std::error_code error;
    const std::filesystem::directory_iterator listing(QFile::encodeName(root).toStdString(), error);
    return !error && QFileInfo(root).isExecutable();
}

} // namespace

frmMelt::frmMelt(QWidget *parent)
    : Form(parent)
    , lblTargetFolder(new QLabel(QStringLiteral("解凍先フォルダ(&F):"), this))
    , txtTargetFolder(new QLineEdit(this))
    , drvMelt(new QComboBox(this))
    , dirMelt(new QTreeView(this))
    , cmdMelt(new QPushButton(QStringLiteral("解凍"), this))
    , cmdCancel(new QPushButton(QStringLiteral("キャンセル"), this))
    , cmdAdd(new QPushButton(QStringLiteral("追加(&A)"), this))
    , frmMeltOption(new QGroupBox(QStringLiteral("オプション"), this))
    , chkRunExplorer(new QCheckBox(QStringLiteral("解凍後にエクスプローラを自動起動する(&E)"), frmMeltOption))
    , lblEncoding(new QLabel(QStringLiteral("ファイル名の文字コード(&K):"), frmMeltOption))
    , cboEncoding(new QComboBox(frmMeltOption))
    , fraArchiveOperation(new QGroupBox(QStringLiteral("解凍後の圧縮ファイル処理"), this))
    , optArchiveOperation(makeArchiveOperationButtons(fraArchiveOperation))
    , m_folders(new QFileSystemModel(this))
{
    setObjectName(QStringLiteral("frmMelt"));
    // A fixed single border: a title and a close box, no minimize or maximize box.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setSizeGripEnabled(false);

    lblTargetFolder->setObjectName(QStringLiteral("lblTargetFolder"));
    lblTargetFolder->setBuddy(txtTargetFolder);
    lblTargetFolder->move(twips(240), twips(300));
    lblTargetFolder->resize(lblTargetFolder->sizeHint());

    txtTargetFolder->setObjectName(QStringLiteral("txtTargetFolder"));
    place(txtTargetFolder, 180, 540, 4275);

    drvMelt->setObjectName(QStringLiteral("drvMelt"));
    drvMelt->addItems(platform::shell().mountedVolumes());
    place(drvMelt, 4680, 180, 2355);

    dirMelt->setObjectName(QStringLiteral("dirMelt"));
    m_folders->setFilter(QDir::Dirs | QDir::NoDotAndDotDot);
    m_folders->setReadOnly(true);
    dirMelt->setModel(m_folders);
    for (int column = 1; column < m_folders->columnCount(); ++column)
        dirMelt->hideColumn(column);
    dirMelt->setHeaderHidden(true);
    dirMelt->setUniformRowHeights(true);
    dirMelt->setSelectionMode(QAbstractItemView::SingleSelection);
    dirMelt->setEditTriggers(QAbstractItemView::NoEditTriggers);
    place(dirMelt, 4680, 540, 2355, 3825);

    cmdMelt->setObjectName(QStringLiteral("cmdMelt"));
    cmdMelt->setDefault(true);
    place(cmdMelt, 300, 4095, 1335, 315);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    place(cmdCancel, 1740, 4095, 1335, 315);
    cmdAdd->setObjectName(QStringLiteral("cmdAdd"));
    place(cmdAdd, 3180, 4095, 1335, 315);

    frmMeltOption->setObjectName(QStringLiteral("frmMeltOption"));
    place(frmMeltOption, 180, 1080, 4275, 1110);
    chkRunExplorer->setObjectName(QStringLiteral("chkRunExplorer"));
    place(chkRunExplorer, 240, 330, 3900);
    lblEncoding->setObjectName(QStringLiteral("lblEncoding"));
    cboEncoding->setObjectName(QStringLiteral("cboEncoding"));
    lblEncoding->setBuddy(cboEncoding);
    fillNameEncodings(cboEncoding);
    place(lblEncoding, 240, 735, 2280, 240);
    place(cboEncoding, 2520, 690, 1635, 300);

    fraArchiveOperation->setObjectName(QStringLiteral("fraArchiveOperation"));
    place(fraArchiveOperation, 180, 2415, 4275, 1515);
    arrangeArchiveOperationButtons(optArchiveOperation, new QButtonGroup(this), 240, 3900);

    setTabOrder(txtTargetFolder, drvMelt);
    setTabOrder(drvMelt, dirMelt);
    setTabOrder(dirMelt, cmdMelt);
    setTabOrder(cmdMelt, cmdCancel);
    setTabOrder(cmdCancel, cmdAdd);
    setTabOrder(cmdAdd, chkRunExplorer);
    setTabOrder(chkRunExplorer, cboEncoding);
    setTabOrder(cboEncoding, optArchiveOperation[0]);
    for (int index = 1; index < int(optArchiveOperation.size()); ++index)
        setTabOrder(optArchiveOperation[index - 1], optArchiveOperation[index]);

    connect(dirMelt, &QTreeView::clicked, this, &frmMelt::dirMelt_Click);
    // Moving through the list with the keyboard picks a folder as a click does;
    // the program's own moves of the list do not.
    connect(dirMelt->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex &current) {
        if (!m_showingFolder && current.isValid())
            dirMelt_Click(current);
    });
    // The model lists folders in the background: the rows above the current
    // folder arrive after it was selected, so it is brought into view again
    // whenever rows arrive, until the user takes over the list.
    const auto reveal = [this] {
        if (!m_folderToReveal.isEmpty())
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (!m_folderToReveal.isEmpty())
                        dirMelt->scrollTo(dirMelt->currentIndex(), QAbstractItemView::PositionAtCenter);
                },
                Qt::QueuedConnection);
    };
    connect(m_folders, &QAbstractItemModel::rowsInserted, this, reveal);
    connect(m_folders, &QAbstractItemModel::layoutChanged, this, reveal);
    connect(m_folders, &QFileSystemModel::directoryLoaded, this, reveal);
    dirMelt->viewport()->installEventFilter(this);
    dirMelt->verticalScrollBar()->installEventFilter(this);
    dirMelt->installEventFilter(this);
    connect(drvMelt, &QComboBox::currentIndexChanged, this, &frmMelt::drvMelt_Change);
    connect(cmdMelt, &QPushButton::clicked, this, &frmMelt::cmdMelt_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmMelt::cmdCancel_Click);
    connect(cmdAdd, &QPushButton::clicked, this, &frmMelt::cmdAdd_Click);

    setFixedSize(twips(7245), twips(4500));
    txtTargetFolder->setFocus();
}

QString frmMelt::ArchiveBaseName(const QString &fileName)
{
    // "foo-1.2.tar.xz" is cut before ".tar.xz", not before ".xz".
    const QString extension = arc::archiveExtension(fileName);
    return withoutDigitsAtEnd(fileName.left(fileName.size() - extension.size()), extension);
}

QString frmMelt::NewItemPattern(const QString &fileName)
{
    const QString extension = arc::archiveExtension(fileName);
    QString base = fileName.left(fileName.size() - extension.size());
    // A name of digits only ("2002.zip") would leave nothing to recognise the
    // software by, so it stays whole.
    const QString shortened = withoutDigitsAtEnd(base, extension);
    if (!shortened.isEmpty())
        base = shortened;
    return base + u'*' + extension;
}

QString frmMelt::volumeRoot(const QString &path)
{
    const QString absolute = QDir::cleanPath(QDir(QDir::currentPath()).absoluteFilePath(path));
    QString best = QString(kPathSeparator);
    for (const QString &root : platform::shell().mountedVolumes()) {
        const bool holds = absolute == root || absolute.startsWith(platform::withTrailingSeparator(root));
        if (holds && root.size() > best.size())
            best = root;
    }
    return best;
}

QString frmMelt::shownFolder() const
{
    const QModelIndex current = dirMelt->currentIndex();
    return m_folders->filePath(current.isValid() ? current : dirMelt->rootIndex());
}

void frmMelt::Form_Load()
{
    const std::shared_ptr<core::clsItem> item = core::CurrentItem;
    const QString name = item ? item->Name() : QString();
    const QString output = item ? item->Output() : QString();

    setWindowTitle(QStringLiteral("Pellora - ") + name + QStringLiteral(" の解凍"));

    chkRunExplorer->setChecked(core::readYesNo(core::setting(u"RunExplorer")));
    optArchiveOperation[storedArchiveOperation()]->setChecked(true);

    selectVolume(volumeRoot(output));

    // The proposal may name a folder that does not exist yet; the list then
    // shows where the program was started.
    QString folder = output.size() > 1 && output.endsWith(kPathSeparator) ? output.chopped(1) : output;
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::currentPath();
    showFolder(folder, volumeRoot(folder));

    txtTargetFolder->setText(
        core::readYesNo(core::setting(u"AddArchiveName")) ? output + ArchiveBaseName(name) + kPathSeparator : output);

    // Centred on the screen, not on whatever window was active before.
    platform::centreOnOwner(this, nullptr);
}

void frmMelt::selectVolume(const QString &root)
{
    // Adding the first entry to an empty list makes it current too: the change
    // handler must not run for that either, least of all while loading.
    const QSignalBlocker quiet(drvMelt);
    int index = drvMelt->findText(root, Qt::MatchExactly);
    if (index < 0) {
        drvMelt->addItem(root);
        index = drvMelt->count() - 1;
    }
    drvMelt->setCurrentIndex(index);
    m_currentVolume = root;
}

void frmMelt::showFolder(const QString &folder, const QString &root)
{
    m_showingFolder = true;
    m_folders->setRootPath(root);
    dirMelt->setRootIndex(m_folders->index(root));
    const QModelIndex current = folder == root ? QModelIndex() : m_folders->index(folder);
    if (current.isValid()) {
        dirMelt->expand(current);
        dirMelt->setCurrentIndex(current);
        dirMelt->scrollTo(current, QAbstractItemView::PositionAtCenter);
        m_folderToReveal = folder;
    } else {
        dirMelt->setCurrentIndex(QModelIndex());
        m_folderToReveal.clear();
    }
    m_showingFolder = false;
}

bool frmMelt::eventFilter(QObject *watched, QEvent *event)
{
    // The user has taken over the folder list: it is no longer moved for them.
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
    case QEvent::KeyPress:
        m_folderToReveal.clear();
        break;
    default:
        break;
    }
    return Form::eventFilter(watched, event);
}

void frmMelt::dirMelt_Click(const QModelIndex &index)
{
    // Linux paths have no drive letter to put in upper case.
    txtTargetFolder->setText(platform::withTrailingSeparator(m_folders->filePath(index)));
}

void frmMelt::drvMelt_Change()
{
    const QString picked = drvMelt->currentText();
    // Linux keeps no current folder per volume: remember it here instead.
    m_volumeFolder.insert(m_currentVolume, shownFolder());

    QString folder = m_volumeFolder.value(picked, picked);
    for (;;) {
        if (volumeAccessible(picked)) {
            // The folder remembered for the volume may have gone since.
            if (!QFileInfo(folder).isDir())
                folder = picked;
            m_currentVolume = picked;
            showFolder(folder, picked);
            return;
        }
        // The message starts with the volume's root followed by the separator,
        // as a drive root is shown there on Windows; a root that ends in one
        // already ("/") does not get it twice.
        const QString text = platform::withTrailingSeparator(picked) + QStringLiteral(" にアクセスできません。")
            + QStringLiteral("\r\n\r\n") + QStringLiteral("デバイスの準備ができていません。");
        const int answer = platform::shell().messageBox(text, platform::vbRetryCancel | platform::vbCritical, kTitle);
        if (answer != platform::vbRetry) {
            // Back to the volume whose folders the list still shows.
            selectVolume(m_currentVolume);
            return;
        }
    }
}

void frmMelt::cmdMelt_Click()
{
    // An empty folder would become "/" and the archive would be spilled into
    // the root of the file system; ask for one instead and stay open.
    if (txtTargetFolder->text().isEmpty()) {
        platform::shell().messageBox(
            QStringLiteral("解凍先フォルダを入力してください。"), platform::vbOKOnly | platform::vbExclamation, kTitle);
        txtTargetFolder->setFocus();
        return;
    }
    if (!core::IsAbsoluteFolder(txtTargetFolder->text())) {
        platform::shell().messageBox(core::NotAbsoluteFolderMessage(txtTargetFolder->text()),
            platform::vbOKOnly | platform::vbExclamation, kTitle);
        txtTargetFolder->setFocus();
        return;
    }

    hide();
    // The same settings as the options dialog edits: the choice made here
    // applies to this extraction and stays the default for later ones.
    core::writeYesNo(core::setting(u"RunExplorer"), chkRunExplorer->isChecked());
    for (int index = 0; index < int(optArchiveOperation.size()); ++index) {
        if (optArchiveOperation[index]->isChecked())
            core::writeNumber(core::setting(u"ArchiveOperation"), index);
    }

    if (const std::shared_ptr<core::clsItem> item = core::CurrentItem) {
        item->setOutput(platform::withTrailingSeparator(txtTargetFolder->text()));
        core::ItemOptions options;
        options.nameEncoding = chosenNameEncoding(cboEncoding);
        item->setOptions(options);
        item->Melt(QStringLiteral("*.*"), core::kMissing, core::kMissing);
    }
    core::CurrentItem.reset();
    Unload();
}

void frmMelt::cmdAdd_Click()
{
    core::gblnAddFromArchive = true;
    core::gblnAddMode = true;

    const QString name = core::CurrentItem ? core::CurrentItem->Name() : QString();
    QString folder = txtTargetFolder->text();
    if (!folder.isEmpty())
        folder = platform::withTrailingSeparator(folder);

    QString title;
    if (core::readYesNo(core::setting(u"AddFolderName"))) {
        const QString bare = folder.endsWith(kPathSeparator) ? folder.chopped(1) : folder;
        title = bare.section(kPathSeparator, -1);
    }

    // The check box and the option buttons are not stored on this road: the
    // extraction that the editor starts uses the stored settings.
    frmItem &editor = platform::formInstance<frmItem>();
    editor.setWindowTitle(QStringLiteral("Pellora - 新しいアイテム (") + name + QStringLiteral(")"));
    editor.setWindowIcon(windowIcon());
    editor.txtName->setText(title);
    editor.txtPattern->setText(NewItemPattern(name));
    editor.txtFolder->setText(folder);
    editor.cmdRelation->setEnabled(true);
    core::ItemOptions options;
    options.nameEncoding = chosenNameEncoding(cboEncoding);
    editor.setItemOptions(options);
    editor.Show(platform::vbModeless);

    Unload();
}

void frmMelt::cmdCancel_Click()
{
    Unload();
}

} // namespace pellora::ui
