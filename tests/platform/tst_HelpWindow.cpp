#include "platform/HelpTopic.h"
#include "platform/gui/DesktopShell.h"
#include "platform/gui/HelpWindow.h"
#include "support/RecordingShell.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QInputMethodEvent>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolButton>

using namespace pellora;
using namespace pellora::platform;

namespace {

// The help pages of the source tree, which the build copies beside pellora.
QString helpFolder()
{
    return QDir::cleanPath(test::dataPath(QStringLiteral("../../help"))) + u'/';
}
QString contentsFile()
{
    return helpFolder() + QStringLiteral("index.html");
}

QStringList helpPages()
{
    return QDir(helpFolder()).entryList({ QStringLiteral("*.html") }, QDir::Files, QDir::Name);
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return file.readAll();
}

// keywords.json as the help ships it, read here on its own so that a
// misreading by the window shows up as a difference.
QJsonObject helpIndex()
{
    return QJsonDocument::fromJson(readAll(helpFolder() + HelpWindow::indexFileName())).object();
}

// Asks for the help the way the program does: through the desktop shell.
HelpWindow *askForHelp(Shell::Help command, int context = 0, const QString &file = contentsFile())
{
    DesktopShell desktop;
    desktop.showHelp(file, command, context);
    return HelpWindow::current();
}

QTextBrowser *browserOf(HelpWindow *window)
{
    return window->findChild<QTextBrowser *>(QStringLiteral("helpBrowser"));
}

// Every link of the document the browser shows, and the anchors it defines.
struct Anchors {
    QStringList hrefs;
    QStringList names;
};

Anchors anchorsOf(const QTextDocument *document)
{
    Anchors found;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isAnchor()) {
                if (!format.anchorHref().isEmpty())
                    found.hrefs.append(format.anchorHref());
                found.names.append(format.anchorNames());
            }
        }
    }
    return found;
}

// Types as a user would: letters on the keyboard, Japanese through the
// input method, which hands over the composed text when it is committed.
void type(QLineEdit *edit, const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(edit, char(c.unicode()));
        } else {
            QInputMethodEvent commit;
            commit.setCommitString(c);
            QApplication::sendEvent(edit, &commit);
        }
    }
}

QList<HelpWindow *> visibleHelpWindows()
{
    QList<HelpWindow *> found;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *help = qobject_cast<HelpWindow *>(w); help && help->isVisible())
            found.append(help);
    }
    return found;
}

} // namespace

class tst_HelpWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup();

    void contentsPageOpensAndLeadsToEveryPage();
    void everyLinkOnEveryPageResolves();
    void pagesAreSelfContainedHtml();
    void indexNamesOnlyExistingPages();
    void indexMapsExactlyTheProgramsTopics();

    void contextOpensItsPage_data();
    void contextOpensItsPage();

    void searchFindsAPageByKeyword_data();
    void searchFindsAPageByKeyword();
    void searchOpensAKeywordOnDoubleClick();

    void secondRequestReusesTheWindow();
    void backAndForwardRetraceTheVisit();

    void missingHelpFileIsToldOnceAndOpensNothing_data();
    void missingHelpFileIsToldOnceAndOpensNothing();
};

void tst_HelpWindow::cleanup()
{
    if (HelpWindow *window = HelpWindow::current())
        window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!HelpWindow::current());
}

void tst_HelpWindow::contentsPageOpensAndLeadsToEveryPage()
{
    HelpWindow *window = askForHelp(Shell::Help::Contents);
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QVERIFY(!window->isSearchShown());
    QCOMPARE(window->currentPage(), QStringLiteral("index.html"));
    QTextBrowser *browser = browserOf(window);
    QVERIFY(!browser->documentTitle().isEmpty());
    QVERIFY(window->windowTitle().contains(browser->documentTitle()));

    QStringList linked;
    for (const QString &href : anchorsOf(browser->document()).hrefs)
        linked.append(QUrl(href).path());
    for (const QString &page : helpPages()) {
        if (page != QStringLiteral("index.html"))
            QVERIFY2(linked.contains(page), qPrintable(page + QStringLiteral(" is not in the contents")));
    }
}

void tst_HelpWindow::everyLinkOnEveryPageResolves()
{
    // Each page is loaded the way the window loads it, and each link is
    // resolved against the page that holds it, as a click would.
    HelpWindow *window = askForHelp(Shell::Help::Contents);
    QTextBrowser *browser = browserOf(window);
    QMap<QString, QStringList> anchorNames; // page -> anchors it defines
    QList<QPair<QString, QUrl>> links; // page -> link target
    const QStringList pages = helpPages();
    QVERIFY(pages.size() > 10);
    for (const QString &page : pages) {
        const QUrl url = QUrl::fromLocalFile(helpFolder() + page);
        browser->setSource(url);
        QCOMPARE(browser->source(), url);
        QVERIFY2(!browser->toPlainText().trimmed().isEmpty(), qPrintable(page + QStringLiteral(" shows nothing")));
        const Anchors anchors = anchorsOf(browser->document());
        anchorNames.insert(page, anchors.names);
        for (const QString &href : anchors.hrefs)
            links.append({ page, url.resolved(QUrl(href)) });
    }
    QVERIFY(!links.isEmpty());
    for (const auto &[page, target] : std::as_const(links)) {
        const QString where = page + QStringLiteral(" -> ") + target.toString();
        QVERIFY2(target.isLocalFile(), qPrintable(where + QStringLiteral(" leaves the help")));
        const QFileInfo file(target.toLocalFile());
        QVERIFY2(file.isFile(), qPrintable(where + QStringLiteral(" has no page")));
        QCOMPARE(file.absolutePath() + u'/', helpFolder());
        if (target.hasFragment())
            QVERIFY2(anchorNames.value(file.fileName()).contains(target.fragment()),
                qPrintable(where + QStringLiteral(" has no such anchor")));
    }
}

void tst_HelpWindow::pagesAreSelfContainedHtml()
{
    // The pages travel with the program and are read offline: UTF-8, one
    // shared style sheet, nothing fetched from elsewhere, nothing run.
    const QRegularExpression reference(QStringLiteral(R"re((?:href|src)\s*=\s*"([^"]*)")re"));
    for (const QString &page : helpPages()) {
        const QByteArray bytes = readAll(helpFolder() + page);
        const QString text = QString::fromUtf8(bytes);
        QVERIFY2(text.toUtf8() == bytes, qPrintable(page + QStringLiteral(" is not UTF-8")));
        QVERIFY2(text.startsWith(QStringLiteral("<!DOCTYPE html>")), qPrintable(page));
        QVERIFY2(text.contains(QStringLiteral("<meta charset=\"utf-8\">")), qPrintable(page));
        QVERIFY2(text.contains(QStringLiteral("<html lang=\"ja\">")), qPrintable(page));
        QVERIFY2(text.contains(QStringLiteral("<title>")), qPrintable(page));
        // The help browser loads a style sheet only when its type is given.
        QVERIFY2(text.contains(QStringLiteral("<link rel=\"stylesheet\" type=\"text/css\" href=\"style.css\">")),
            qPrintable(page));
        QVERIFY2(!text.contains(QStringLiteral("<script"), Qt::CaseInsensitive), qPrintable(page));
        for (auto it = reference.globalMatch(text); it.hasNext();) {
            const QUrl target(it.next().captured(1));
            QVERIFY2(target.scheme().isEmpty() && !target.path().startsWith(u'/'),
                qPrintable(page + QStringLiteral(" refers outside the help: ") + target.toString()));
            if (!target.path().isEmpty())
                QVERIFY2(QFileInfo(helpFolder() + target.path()).isFile(),
                    qPrintable(page + QStringLiteral(" refers to a missing ") + target.path()));
        }
    }
    QVERIFY(QFileInfo(helpFolder() + QStringLiteral("style.css")).isFile());
}

void tst_HelpWindow::indexNamesOnlyExistingPages()
{
    const QJsonObject index = helpIndex();
    const QJsonObject contexts = index.value(QStringLiteral("contexts")).toObject();
    const QJsonObject keywords = index.value(QStringLiteral("keywords")).toObject();
    QVERIFY(!contexts.isEmpty());
    QVERIFY(!keywords.isEmpty());

    // What the window read must be what the file says, entry for entry.
    HelpWindow *window = askForHelp(Shell::Help::Contents);
    QCOMPARE(window->contextPages().size(), contexts.size());
    QCOMPARE(window->keywords().size(), keywords.size());
    for (const auto &[keyword, page] : window->keywords())
        QCOMPARE(page, keywords.value(keyword).toString());

    QStringList targets;
    for (const QJsonValue &v : contexts)
        targets.append(v.toString());
    for (const QJsonValue &v : keywords)
        targets.append(v.toString());
    for (const QString &target : std::as_const(targets))
        QVERIFY2(QFileInfo(helpFolder() + QUrl(target).path()).isFile(), qPrintable(target));
}

void tst_HelpWindow::indexMapsExactlyTheProgramsTopics()
{
    // A topic the code asks for but the index lacks would open the contents;
    // a number in the index that no window asks for is a page lost to context help.
    QStringList fromCode;
    for (const HelpTopic topic : kHelpTopics)
        fromCode.append(QString::number(int(topic)));
    QStringList inIndex = helpIndex().value(QStringLiteral("contexts")).toObject().keys();
    fromCode.sort();
    inIndex.sort();
    QCOMPARE(inIndex, fromCode);
}

void tst_HelpWindow::contextOpensItsPage_data()
{
    QTest::addColumn<int>("context");
    QTest::addColumn<QString>("page");

    // What each window's help topic shows.
    const std::pair<HelpTopic, const char *> topics[] = { { HelpTopic::MainWindow, "main.html" },
        { HelpTopic::ItemEditor, "item.html" }, { HelpTopic::UnmatchedArchive, "melt.html" },
        { HelpTopic::MatchChooser, "overlap.html" }, { HelpTopic::RelatedFileChooser, "select.html" },
        { HelpTopic::Options, "options.html" }, { HelpTopic::OptionsOther, "options.html#other" } };
    for (const auto &[topic, page] : topics)
        QTest::addRow("topic %d opens %s", int(topic), page) << int(topic) << QString::fromLatin1(page);

    // The item editor's number is fixed by the editor's help button.
    QTest::newRow("10 opens the item editor's page") << 10 << QStringLiteral("item.html");
    QTest::newRow("an unknown number opens the contents") << 999 << QStringLiteral("index.html");
    QTest::newRow("0 opens the contents") << 0 << QStringLiteral("index.html");
    const QJsonObject contexts = helpIndex().value(QStringLiteral("contexts")).toObject();
    for (auto it = contexts.begin(); it != contexts.end(); ++it) {
        const QString name = QStringLiteral("%1 opens %2 as the index says").arg(it.key(), it.value().toString());
        QTest::newRow(qPrintable(name)) << it.key().toInt() << it.value().toString();
    }
}

void tst_HelpWindow::contextOpensItsPage()
{
    QFETCH(int, context);
    QFETCH(QString, page);
    HelpWindow *window = askForHelp(Shell::Help::Context, context);
    QVERIFY(window);
    QVERIFY(!window->isSearchShown());
    QCOMPARE(window->currentPage(), page);
    // The page is really there, not an empty document at the right name.
    const QString file = helpFolder() + QUrl(page).path();
    const QString title
        = QRegularExpression(QStringLiteral("<title>(.*)</title>")).match(QString::fromUtf8(readAll(file))).captured(1);
    QCOMPARE(browserOf(window)->documentTitle(), title);
}

void tst_HelpWindow::searchFindsAPageByKeyword_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("page");

    QTest::newRow("a Japanese keyword finds the pattern language")
        << QStringLiteral("ファイルパターン") << QStringLiteral("pattern.html");
    QTest::newRow("part of a Japanese keyword finds the restore page")
        << QStringLiteral("復元") << QStringLiteral("restore.html");
    QTest::newRow("an English keyword finds the pattern language")
        << QStringLiteral("wildcard") << QStringLiteral("pattern.html");
    QTest::newRow("English in capitals finds the same page")
        << QStringLiteral("WILDCARD") << QStringLiteral("pattern.html");
    QTest::newRow("full-width letters find the same page")
        << QStringLiteral("ｗｉｌｄｃａｒｄ") << QStringLiteral("pattern.html");
    QTest::newRow("a keyword with a topic inside a page opens that place")
        << QStringLiteral("recycle bin") << QStringLiteral("options.html#file");
    QTest::newRow("the item file's name finds where files live")
        << QStringLiteral("item.dat") << QStringLiteral("files.html");
    QTest::newRow("nothing that matches opens nothing") << QStringLiteral("xyzzy") << QString();
}

void tst_HelpWindow::searchFindsAPageByKeyword()
{
    QFETCH(QString, typed);
    QFETCH(QString, page);
    HelpWindow *window = askForHelp(Shell::Help::Search);
    QVERIFY(window);
    QVERIFY(window->isSearchShown());
    auto *edit = window->findChild<QLineEdit *>(QStringLiteral("keywordEdit"));
    auto *list = window->findChild<QListWidget *>(QStringLiteral("keywordList"));
    QVERIFY(edit && list);
    QCOMPARE(list->count(), int(window->keywords().size()));

    type(edit, typed);
    QCOMPARE(edit->text(), typed);
    int shown = 0;
    for (int row = 0; row < list->count(); ++row) {
        if (!list->item(row)->isHidden())
            ++shown;
    }
    QCOMPARE(shown > 0, !page.isEmpty());
    QVERIFY(shown < list->count());

    QTest::keyClick(edit, Qt::Key_Return);
    if (page.isEmpty()) {
        QVERIFY(window->isSearchShown());
        QVERIFY(window->currentPage().isEmpty());
    } else {
        QVERIFY(!window->isSearchShown());
        QCOMPARE(window->currentPage(), page);
    }
}

void tst_HelpWindow::searchOpensAKeywordOnDoubleClick()
{
    HelpWindow *window = askForHelp(Shell::Help::Search);
    auto *edit = window->findChild<QLineEdit *>(QStringLiteral("keywordEdit"));
    auto *list = window->findChild<QListWidget *>(QStringLiteral("keywordList"));
    type(edit, QStringLiteral("ドロップ"));
    QListWidgetItem *first = list->currentItem();
    QVERIFY(first && !first->isHidden());
    QVERIFY(first->text().contains(QStringLiteral("ドロップ")));
    const QPoint at = list->visualItemRect(first).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    QVERIFY(!window->isSearchShown());
    QCOMPARE(window->currentPage(), QStringLiteral("drop.html"));
}

void tst_HelpWindow::secondRequestReusesTheWindow()
{
    HelpWindow *first = askForHelp(Shell::Help::Context, 10);
    QVERIFY(first);
    first->showMinimized();
    HelpWindow *second = askForHelp(Shell::Help::Contents);
    QCOMPARE(second, first);
    QCOMPARE(visibleHelpWindows().size(), 1);
    QVERIFY(!second->isMinimized());
    QCOMPARE(second->currentPage(), QStringLiteral("index.html"));

    // Once closed the window is gone; the next request makes a fresh one.
    QPointer<HelpWindow> closed = second;
    second->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!closed);
    QVERIFY(!HelpWindow::current());
    HelpWindow *third = askForHelp(Shell::Help::Search);
    QVERIFY(third);
    QVERIFY(third->isSearchShown());
    QCOMPARE(visibleHelpWindows().size(), 1);
}

void tst_HelpWindow::backAndForwardRetraceTheVisit()
{
    HelpWindow *window = askForHelp(Shell::Help::Contents);
    auto *back = window->findChild<QToolButton *>(QStringLiteral("backButton"));
    auto *forward = window->findChild<QToolButton *>(QStringLiteral("forwardButton"));
    auto *contents = window->findChild<QToolButton *>(QStringLiteral("contentsButton"));
    auto *search = window->findChild<QToolButton *>(QStringLiteral("searchButton"));
    QVERIFY(back && forward && contents && search);
    QVERIFY(!back->isEnabled());

    askForHelp(Shell::Help::Context, 1);
    askForHelp(Shell::Help::Context, 10);
    QCOMPARE(window->currentPage(), QStringLiteral("item.html"));
    QVERIFY(back->isEnabled());
    QVERIFY(!forward->isEnabled());

    back->click();
    QCOMPARE(window->currentPage(), QStringLiteral("main.html"));
    QVERIFY(forward->isEnabled());
    back->click();
    QCOMPARE(window->currentPage(), QStringLiteral("index.html"));
    forward->click();
    QCOMPARE(window->currentPage(), QStringLiteral("main.html"));

    // From the keyword page, back returns to the page that was shown.
    search->click();
    QVERIFY(window->isSearchShown());
    QVERIFY(back->isEnabled());
    back->click();
    QVERIFY(!window->isSearchShown());
    QCOMPARE(window->currentPage(), QStringLiteral("main.html"));

    contents->click();
    QCOMPARE(window->currentPage(), QStringLiteral("index.html"));
}

void tst_HelpWindow::missingHelpFileIsToldOnceAndOpensNothing_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<bool>("folderInItsPlace");

    QTest::newRow("contents of a help file that is not there") << int(Shell::Help::Contents) << false;
    QTest::newRow("search in a help file that is not there") << int(Shell::Help::Search) << false;
    QTest::newRow("a context of a help file that is not there") << int(Shell::Help::Context) << false;
    QTest::newRow("a folder where the help file should be") << int(Shell::Help::Contents) << true;
}

void tst_HelpWindow::missingHelpFileIsToldOnceAndOpensNothing()
{
    QFETCH(int, command);
    QFETCH(bool, folderInItsPlace);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // The rest of the help is there; only its main file is not.
    QVERIFY(QFile::copy(helpFolder() + HelpWindow::indexFileName(), dir.filePath(HelpWindow::indexFileName())));
    const QString missing = dir.filePath(QStringLiteral("index.html"));
    if (folderInItsPlace)
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("index.html")));

    test::RecordingShell recorder;
    askForHelp(Shell::Help(command), 10, missing);

    const QStringList boxes = recorder.callsOf(QStringLiteral("messageBox"));
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(recorder.calls.size(), 1);
    QVERIFY2(boxes.first().contains(missing), qPrintable(boxes.first()));
    QVERIFY(boxes.first().endsWith(QStringLiteral("|Pellora")));
    QVERIFY(!HelpWindow::current());
    QVERIFY(visibleHelpWindows().isEmpty());
}

QTEST_MAIN(tst_HelpWindow)
#include "tst_HelpWindow.moc"
