#include "platform/gui/TextViewerWindow.h"

#include "platform/TextCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace pellora::platform {

namespace {

struct Loaded {
    QString text;
    QString notice; // why the text is missing or incomplete; empty when all is shown
};

// A cut at the size limit can split the last character. Dropping that
// partial sequence keeps a UTF-8 file from being taken for Shift_JIS.
QByteArray withoutPartialUtf8Tail(const QByteArray &bytes)
{
    for (qsizetype back = 1; back <= 4 && back <= bytes.size(); ++back) {
        const qsizetype at = bytes.size() - back;
        const uchar c = uchar(bytes.at(at));
        if ((c & 0xC0) == 0x80)
            continue;
        const qsizetype length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return back < length ? bytes.left(at) : bytes;
    }
    return bytes;
}

// QString::fromUtf8 drops a leading byte order mark, which Windows editors
// put before UTF-8 text.
QString decode(const QByteArray &bytes, bool cut)
{
    const QByteArray whole = cut ? withoutPartialUtf8Tail(bytes) : bytes;
    QString text = decodeUtf8OrCp932(isValidUtf8(whole) ? whole : bytes);
    // Windows files end lines with CR LF; a lone CR is an old Mac line end.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

Loaded load(const QString &path)
{
    const auto cannotRead = [&](const QString &why) {
        return Loaded{ {}, QStringLiteral("%1 を読み込めません。\n%2").arg(QDir::toNativeSeparators(path), why) };
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return cannotRead(file.errorString());
    QByteArray bytes = file.read(TextViewerWindow::kMaxBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return cannotRead(file.errorString());
    const bool cut = bytes.size() > TextViewerWindow::kMaxBytes;
    if (cut)
        bytes.truncate(TextViewerWindow::kMaxBytes);
    Loaded loaded{ decode(bytes, cut), {} };
    if (cut)
        loaded.notice = QStringLiteral("ファイルが大きいため、先頭の %1 MB だけを表示しています。")
                            .arg(TextViewerWindow::kMaxBytes / (1024 * 1024));
    return loaded;
}

} // namespace

TextViewerWindow::TextViewerWindow(const QString &file, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_notice(new QLabel(this))
    , m_text(new QPlainTextEdit(this))
{
    setWindowTitle(QFileInfo(file).fileName());
    m_notice->setObjectName(QStringLiteral("notice"));
    m_notice->setWordWrap(true);
    m_notice->setTextFormat(Qt::PlainText);
    m_notice->setContentsMargins(6, 4, 6, 4);
    m_text->setReadOnly(true);
    // Read-me files line up tables and art in a fixed-width font and break
    // their own lines.
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_notice);
    layout->addWidget(m_text);

    const Loaded loaded = load(file);
    m_text->setPlainText(loaded.text);
    m_notice->setText(loaded.notice);
    m_notice->setVisible(!loaded.notice.isEmpty());

    const QFontMetrics metrics(m_text->font());
    resize(metrics.horizontalAdvance(u'M') * 84, metrics.lineSpacing() * 32);
}

void TextViewerWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace pellora::platform
