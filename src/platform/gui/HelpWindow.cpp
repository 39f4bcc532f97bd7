#include "platform/gui/HelpWindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLoggingCategory>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QTextBrowser>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace pellora::platform {

namespace {

Q_LOGGING_CATEGORY(lcHelp, "pellora.platform.help")

QPointer<HelpWindow> g_window;

constexpr int kPageRole = Qt::UserRole;

// The search compares texts the way a reader would: full-width and
// half-width letters alike, capitals and small letters alike.
QString searchForm(const QString &text)
{
    return text.normalized(QString::NormalizationForm_KC).toCaseFolded();
}

} // namespace

HelpWindow *HelpWindow::showHelp(const QString &helpFile, Shell::Help command, int context)
{
    if (!QFileInfo(helpFile).isFile()) {
        shell().messageBox(
            QStringLiteral("ヘルプファイル %1 が見つかりません。").arg(QDir::toNativeSeparators(helpFile)),
            vbOKOnly | vbExclamation, QStringLiteral("Pellora"));
        return nullptr;
    }
    if (!g_window) {
        g_window = new HelpWindow;
        g_window->setAttribute(Qt::WA_DeleteOnClose);
    }
    HelpWindow *window = g_window;
    // A modal dialog (the item editor) blocks every window that is not its
    // own, and would block its own help too; the help window therefore
    // belongs to the modal dialog that asks for it, and to nobody otherwise.
    QWidget *owner = QApplication::activeModalWidget();
    if (owner == window)
        owner = nullptr;
    if (window->parentWidget() != owner)
        window->setParent(owner, Qt::Window);
    window->setHelpFile(helpFile);
    switch (command) {
    case Shell::Help::Contents:
        window->showContents();
        break;
    case Shell::Help::Search:
        window->showSearch();
        break;
    case Shell::Help::Context:
        window->showContext(context);
        break;
    }
    window->show();
    if (window->isMinimized())
        window->showNormal();
    window->raise();
    window->activateWindow();
    return window;
}

HelpWindow *HelpWindow::current()
{
    return g_window;
}

HelpWindow::HelpWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_back(new QToolButton(this))
    , m_forward(new QToolButton(this))
    , m_contents(new QToolButton(this))
    , m_search(new QToolButton(this))
    , m_pages(new QStackedWidget(this))
    , m_browser(new QTextBrowser(m_pages))
    , m_searchPage(new QWidget(m_pages))
    , m_keywordEdit(new QLineEdit(m_searchPage))
    , m_keywordList(new QListWidget(m_searchPage))
{
    setObjectName(QStringLiteral("helpWindow"));
    m_browser->setObjectName(QStringLiteral("helpBrowser"));
    m_keywordEdit->setObjectName(QStringLiteral("keywordEdit"));
    m_keywordList->setObjectName(QStringLiteral("keywordList"));
    m_back->setObjectName(QStringLiteral("backButton"));
    m_forward->setObjectName(QStringLiteral("forwardButton"));
    m_contents->setObjectName(QStringLiteral("contentsButton"));
    m_search->setObjectName(QStringLiteral("searchButton"));

    m_back->setText(QStringLiteral("戻る"));
    m_back->setShortcut(QKeySequence::Back);
    m_forward->setText(QStringLiteral("進む"));
    m_forward->setShortcut(QKeySequence::Forward);
    m_contents->setText(QStringLiteral("目次"));
    m_search->setText(QStringLiteral("キーワード"));
    for (QToolButton *button : { m_back, m_forward, m_contents, m_search })
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_back);
    buttons->addWidget(m_forward);
    buttons->addWidget(m_contents);
    buttons->addWidget(m_search);
    buttons->addStretch();

    // The pages never reach outside the help folder; anything else is not
    // followed, so a stray link cannot start a browser.
    m_browser->setOpenExternalLinks(false);

    auto *label = new QLabel(QStringLiteral("キーワードを入力してください(&K):"), m_searchPage);
    label->setBuddy(m_keywordEdit);
    auto *open = new QPushButton(QStringLiteral("表示(&D)"), m_searchPage);
    auto *searchLayout = new QVBoxLayout(m_searchPage);
    searchLayout->addWidget(label);
    searchLayout->addWidget(m_keywordEdit);
    searchLayout->addWidget(m_keywordList, 1);
    searchLayout->addWidget(open, 0, Qt::AlignRight);
    m_keywordEdit->setClearButtonEnabled(true);
    m_keywordEdit->installEventFilter(this);

    m_pages->addWidget(m_browser);
    m_pages->addWidget(m_searchPage);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_pages, 1);

    connect(m_back, &QToolButton::clicked, this, &HelpWindow::goBack);
    connect(m_forward, &QToolButton::clicked, this, &HelpWindow::goForward);
    connect(m_contents, &QToolButton::clicked, this, &HelpWindow::showContents);
    connect(m_search, &QToolButton::clicked, this, &HelpWindow::showSearch);
    connect(m_browser, &QTextBrowser::historyChanged, this, &HelpWindow::updateButtons);
    connect(m_browser, &QTextBrowser::sourceChanged, this, &HelpWindow::updateTitle);
    connect(m_keywordEdit, &QLineEdit::textChanged, this, &HelpWindow::filterKeywords);
    connect(m_keywordEdit, &QLineEdit::returnPressed, this, [this] { openKeyword(m_keywordList->currentItem()); });
    connect(m_keywordList, &QListWidget::itemActivated, this, &HelpWindow::openKeyword);
    connect(open, &QPushButton::clicked, this, [this] { openKeyword(m_keywordList->currentItem()); });

    resize(640, 520);
    updateButtons();
    updateTitle();
}

void HelpWindow::setHelpFile(const QString &helpFile)
{
    const QString absolute = QFileInfo(helpFile).absoluteFilePath();
    if (absolute == m_helpFile)
        return;
    m_helpFile = absolute;
    m_folder = QFileInfo(absolute).absolutePath() + u'/';
    m_browser->setSearchPaths({ m_folder });
    m_browser->clear();
    m_browser->clearHistory();
    readIndex();
}

void HelpWindow::readIndex()
{
    m_contexts.clear();
    m_keywords.clear();
    // Without an index the help still has its pages; only the search list
    // stays empty and every context opens the contents.
    QFile file(m_folder + indexFileName());
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcHelp) << "no keyword index" << file.fileName() << file.errorString();
    } else {
        QJsonParseError error;
        const QJsonObject index = QJsonDocument::fromJson(file.readAll(), &error).object();
        if (error.error != QJsonParseError::NoError)
            qCWarning(lcHelp) << "keyword index" << file.fileName() << "unreadable:" << error.errorString();
        const QJsonObject contexts = index.value(QStringLiteral("contexts")).toObject();
        for (auto it = contexts.begin(); it != contexts.end(); ++it) {
            bool ok = false;
            const int number = it.key().toInt(&ok);
            if (ok && it.value().isString())
                m_contexts.insert(number, it.value().toString());
        }
        const QJsonObject keywords = index.value(QStringLiteral("keywords")).toObject();
        for (auto it = keywords.begin(); it != keywords.end(); ++it) {
            if (it.value().isString())
                m_keywords.append({ it.key(), it.value().toString() });
        }
        std::stable_sort(m_keywords.begin(), m_keywords.end(),
            [](const auto &a, const auto &b) { return QString::compare(a.first, b.first, Qt::CaseInsensitive) < 0; });
    }
    m_keywordList->clear();
    for (const auto &[keyword, page] : std::as_const(m_keywords)) {
        auto *item = new QListWidgetItem(keyword, m_keywordList);
        item->setData(kPageRole, page);
    }
    filterKeywords(m_keywordEdit->text());
}

void HelpWindow::showContents()
{
    openPage(QFileInfo(m_helpFile).fileName());
}

void HelpWindow::showSearch()
{
    m_keywordEdit->clear();
    m_pages->setCurrentWidget(m_searchPage);
    m_keywordEdit->setFocus();
    updateButtons();
    updateTitle();
}

void HelpWindow::showContext(int context)
{
    const QString page = m_contexts.value(context);
    // A page that the index names but the folder lacks would show an empty
    // window; the contents at least lead somewhere.
    if (page.isEmpty() || !QFileInfo(m_folder + QUrl(page).path()).isFile()) {
        qCWarning(lcHelp) << "no help page for context" << context;
        showContents();
        return;
    }
    openPage(page);
}

void HelpWindow::openPage(const QString &page)
{
    const QUrl relative(page);
    QUrl url = QUrl::fromLocalFile(m_folder + relative.path());
    url.setFragment(relative.fragment());
    m_pages->setCurrentWidget(m_browser);
    // Asking for the page already shown would only reload it; a fragment of
    // that page still scrolls.
    if (m_browser->source() != url)
        m_browser->setSource(url);
    else
        m_browser->scrollToAnchor(url.fragment());
    m_browser->setFocus();
    updateButtons();
    updateTitle();
}

QString HelpWindow::currentPage() const
{
    const QUrl source = m_browser->source();
    if (source.isEmpty())
        return {};
    QString page = QDir(m_folder).relativeFilePath(source.toLocalFile());
    if (source.hasFragment())
        page += u'#' + source.fragment();
    return page;
}

bool HelpWindow::isSearchShown() const
{
    return m_pages->currentWidget() == m_searchPage;
}

void HelpWindow::goBack()
{
    // From the keyword page, back returns to the page that was shown.
    if (isSearchShown()) {
        m_pages->setCurrentWidget(m_browser);
        updateButtons();
        updateTitle();
        return;
    }
    m_browser->backward();
}

void HelpWindow::goForward()
{
    if (!isSearchShown())
        m_browser->forward();
}

void HelpWindow::filterKeywords(const QString &text)
{
    const QString wanted = searchForm(text.trimmed());
    QListWidgetItem *first = nullptr;
    for (int row = 0; row < m_keywordList->count(); ++row) {
        QListWidgetItem *item = m_keywordList->item(row);
        const bool shown = searchForm(item->text()).contains(wanted);
        item->setHidden(!shown);
        if (shown && !first)
            first = item;
    }
    // The best candidate is selected, so Enter in the box opens it.
    m_keywordList->setCurrentItem(first);
    if (first)
        m_keywordList->scrollToItem(first);
}

void HelpWindow::openKeyword(QListWidgetItem *item)
{
    if (!item || item->isHidden())
        return;
    openPage(item->data(kPageRole).toString());
}

void HelpWindow::updateButtons()
{
    const bool search = isSearchShown();
    m_back->setEnabled(search ? !m_browser->source().isEmpty() : m_browser->isBackwardAvailable());
    m_forward->setEnabled(!search && m_browser->isForwardAvailable());
}

void HelpWindow::updateTitle()
{
    QString title = QStringLiteral("Pellora ヘルプ");
    if (isSearchShown())
        title += QStringLiteral(" - キーワード");
    else if (!m_browser->documentTitle().isEmpty())
        title += QStringLiteral(" - ") + m_browser->documentTitle();
    setWindowTitle(title);
}

bool HelpWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Up and down in the keyword box walk the list below it, as in the
    // index of a help viewer, without leaving the box.
    if (watched == m_keywordEdit && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
            QApplication::sendEvent(m_keywordList, event);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace pellora::platform
