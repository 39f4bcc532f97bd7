#pragma once

#include "platform/Shell.h"

#include <QList>
#include <QMap>
#include <QPair>
#include <QWidget>

class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QStackedWidget;
class QTextBrowser;
class QToolButton;

namespace pellora::platform {

// The context numbers a window asks for are the HelpTopic values
// (platform/HelpTopic.h).

// The program's help: the HTML pages of the help folder in one modeless
// window, with back, forward, contents and a keyword search. There is one
// window at a time; a later request reuses it and brings it to the front.
class HelpWindow final : public QWidget {
    Q_OBJECT
public:
    // Opens helpFile's help at the page the command asks for: helpFile itself
    // (the contents), the keyword search, or the topic of context. A helpFile
    // that does not exist is told to the user through shell() and opens
    // nothing; the result is then null.
    static HelpWindow *showHelp(const QString &helpFile, Shell::Help command, int context = 0);

    // The help window while one is open, else null.
    static HelpWindow *current();

    // What keywords.json says: context number -> page, and the keywords in
    // the order the search list shows them, each with its page. Pages are
    // relative to the help folder and may carry a #fragment.
    const QMap<int, QString> &contextPages() const { return m_contexts; }
    const QList<QPair<QString, QString>> &keywords() const { return m_keywords; }

    // The page the browser shows, as a path relative to the help folder
    // (with its #fragment, if any); empty while nothing was opened.
    QString currentPage() const;
    bool isSearchShown() const;

    // The name of the keyword index beside the contents page.
    static QString indexFileName() { return QStringLiteral("keywords.json"); }

private:
    explicit HelpWindow(QWidget *parent = nullptr);

    void setHelpFile(const QString &helpFile);
    void readIndex();
    void showContents();
    void showSearch();
    void showContext(int context);
    void openPage(const QString &page);
    void goBack();
    void goForward();
    void filterKeywords(const QString &text);
    void openKeyword(QListWidgetItem *item);
    void updateButtons();
    void updateTitle();
    bool eventFilter(QObject *watched, QEvent *event) override;

    QString m_helpFile; // the contents page, absolute
    QString m_folder; // its folder, with a trailing separator
    QMap<int, QString> m_contexts;
    QList<QPair<QString, QString>> m_keywords;

    QToolButton *m_back;
    QToolButton *m_forward;
    QToolButton *m_contents;
    QToolButton *m_search;
    QStackedWidget *m_pages;
    QTextBrowser *m_browser;
    QWidget *m_searchPage;
    QLineEdit *m_keywordEdit;
    QListWidget *m_keywordList;
};

} // namespace pellora::platform
