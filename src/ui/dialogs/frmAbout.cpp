#include "ui/dialogs/frmAbout.h"

#include "platform/gui/Icons.h"
#include "platform/gui/Twips.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

// The build passes its version and legal notice in, so the box shows the
// version that was built, never a number kept by hand.
#if !defined(PELLORA_VERSION_MAJOR) || !defined(PELLORA_VERSION_MINOR) || !defined(PELLORA_LEGAL_NOTICE)
#error "The build must define PELLORA_VERSION_MAJOR, PELLORA_VERSION_MINOR and PELLORA_LEGAL_NOTICE"
#endif

namespace pellora::ui {

using platform::twips;

namespace {

const int iconSize = 480; // twips, the picture box's side

void placeLabel(QLabel *label, int left, int top, int width)
{
    // Labels keep a fixed width and clip, like the controls they stand for.
    label->setGeometry(twips(left), twips(top), twips(width), label->sizeHint().height());
}

} // namespace

frmAbout::frmAbout(QWidget *parent)
    : Form(parent)
    , picIcon(new QLabel(this))
    , lblVersion(new QLabel(this))
    , lblCopyright(new QLabel(this))
    , cmdOK(new QPushButton(QStringLiteral("OK"), this))
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("バージョン情報"));
    // A fixed dialog border: a title and a close box, no resizing.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setSizeGripEnabled(false);

    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setGeometry(twips(120), twips(120), twips(iconSize), twips(iconSize));
    picIcon->setAlignment(Qt::AlignCenter);

    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    placeLabel(lblVersion, 780, 180, 2175);
    lblCopyright->setObjectName(QStringLiteral("lblCopyright"));
    placeLabel(lblCopyright, 780, 420, 2595);

    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);
    cmdOK->setGeometry(twips(900), twips(720), twips(1335), twips(315));
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);

    setFixedSize(twips(3480), twips(1140));
    cmdOK->setFocus();
}

QString frmAbout::versionText(const QString &title, int major, int minor)
{
    return QStringLiteral("%1 ver %2.%3").arg(title, QString::number(major), QString::number(minor));
}

void frmAbout::Form_Load()
{
    // The box belongs to the window that opened it (the main window's help
    // menu): QDialog then centres it on that window and the window manager
    // keeps it above it.
    if (!parentWidget()) {
        QWidget *owner = QApplication::activeWindow();
        if (owner && owner != this)
            setParent(owner, windowFlags());
    }

    lblVersion->setText(versionText(QStringLiteral("Pellora"), PELLORA_VERSION_MAJOR, PELLORA_VERSION_MINOR));
    lblCopyright->setText(QString::fromUtf8(PELLORA_LEGAL_NOTICE));

    // The owner's icon is the main window's; a window without one of its own
    // shows the application's, and the program's own stands in when even
    // that was never set.
    QIcon icon = parentWidget() ? parentWidget()->window()->windowIcon() : QApplication::windowIcon();
    if (icon.isNull())
        icon = platform::programIcon();
    const int side = twips(iconSize);
    picIcon->setPixmap(icon.pixmap(QSize(side, side), devicePixelRatio()));
}

void frmAbout::cmdOK_Click()
{
    Unload();
}

} // namespace pellora::ui
