#include "platform/gui/DesktopShell.h"
#include "platform/gui/TextViewerWindow.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <functional>

using namespace pellora;
using namespace pellora::platform;

namespace {

// Acts on the next modal message box from inside its own event loop, trying
// again for a while in case the box is not up yet when the timer first fires.
void whenBoxIsUp(const std::function<void(QMessageBox *)> &act, int attemptsLeft = 200, int delay = 0)
{
    QTimer::singleShot(delay, [act, attemptsLeft] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            act(box);
        else if (attemptsLeft > 0)
            whenBoxIsUp(act, attemptsLeft - 1, 10);
    });
}

TextViewerWindow *openViewer()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *viewer = qobject_cast<TextViewerWindow *>(w); viewer && viewer->isVisible())
            return viewer;
    }
    return nullptr;
}

} // namespace

class tst_DesktopShell : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void asksWithTheButtonsOfTheStyle_data();
    void asksWithTheButtonsOfTheStyle();
    void showsTextInEitherEncoding_data();
    void showsTextInEitherEncoding();
    void saysWhyAFileCannotBeShown_data();
    void saysWhyAFileCannotBeShown();
    void showsTheStartOfAHugeFileWithANote();
    void viewerLeavesTheProgramRunningAndClosesOnEsc();
    void pickersShowWholeColumns_data();
    void pickersShowWholeColumns();
};

void tst_DesktopShell::asksWithTheButtonsOfTheStyle_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("buttons");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::addColumn<QMessageBox::StandardButton>("defaultButton");
    QTest::addColumn<QMessageBox::StandardButton>("click"); // NoButton: press the key instead
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("result");

    using B = QMessageBox;
    const auto none = B::NoButton;
    QTest::newRow("OK alone with the information icon answers OK to Esc")
        << int(vbOKOnly | vbInformation) << int(B::Ok) << B::Information << B::Ok << none << int(Qt::Key_Escape)
        << int(vbOK);
    QTest::newRow("OK alone without icon bits shows no icon")
        << int(vbOKOnly) << int(B::Ok) << B::NoIcon << B::Ok << B::Ok << 0 << int(vbOK);
    QTest::newRow("OK and Cancel with the exclamation icon answer Cancel to Esc")
        << int(vbOKCancel | vbExclamation) << int(B::Ok | B::Cancel) << B::Warning << B::Ok << none
        << int(Qt::Key_Escape) << int(vbCancel);
    QTest::newRow("OK and Cancel answer OK to Enter")
        << int(vbOKCancel | vbExclamation) << int(B::Ok | B::Cancel) << B::Warning << B::Ok << none
        << int(Qt::Key_Return) << int(vbOK);
    QTest::newRow("Yes and No with the question icon answer Yes when Yes is clicked")
        << int(vbYesNo | vbQuestion) << int(B::Yes | B::No) << B::Question << B::Yes << B::Yes << 0 << int(vbYes);
    QTest::newRow("Yes and No answer No to Esc although Yes is the default")
        << int(vbYesNo | vbQuestion) << int(B::Yes | B::No) << B::Question << B::Yes << none << int(Qt::Key_Escape)
        << int(vbNo);
    QTest::newRow("the second button as default makes Enter answer No")
        << int(vbYesNo | vbQuestion | vbDefaultButton2) << int(B::Yes | B::No) << B::Question << B::No << none
        << int(Qt::Key_Return) << int(vbNo);
    QTest::newRow("Retry and Cancel with the critical icon answer Retry when Retry is clicked")
        << int(vbRetryCancel | vbCritical) << int(B::Retry | B::Cancel) << B::Critical << B::Retry << B::Retry << 0
        << int(vbRetry);
    QTest::newRow("Retry and Cancel with the second default answer Cancel to Enter")
        << int(vbRetryCancel | vbCritical | vbDefaultButton2) << int(B::Retry | B::Cancel) << B::Critical << B::Cancel
        << none << int(Qt::Key_Return) << int(vbCancel);
}

void tst_DesktopShell::asksWithTheButtonsOfTheStyle()
{
    QFETCH(int, style);
    QFETCH(int, buttons);
    QFETCH(QMessageBox::Icon, icon);
    QFETCH(QMessageBox::StandardButton, defaultButton);
    QFETCH(QMessageBox::StandardButton, click);
    QFETCH(int, key);
    QFETCH(int, result);

    const QString text = QStringLiteral("<dl>/foo.lzh は既に存在します。");
    const QString title = QStringLiteral("確認");
    bool ran = false;
    int seenButtons = 0;
    QMessageBox::Icon seenIcon{};
    QMessageBox::StandardButton seenDefault = QMessageBox::NoButton;
    QString seenTitle, seenText;
    whenBoxIsUp([&](QMessageBox *box) {
        ran = true;
        seenButtons = int(box->standardButtons());
        seenIcon = box->icon();
        if (QPushButton *button = box->defaultButton())
            seenDefault = box->standardButton(button);
        seenTitle = box->windowTitle();
        seenText = box->text();
        if (click != QMessageBox::NoButton)
            box->button(click)->click();
        else
            QTest::keyClick(box, Qt::Key(key));
    });

    DesktopShell shell;
    QCOMPARE(shell.messageBox(text, style, title), result);
    QVERIFY(ran);
    QCOMPARE(seenButtons, buttons);
    QCOMPARE(seenIcon, icon);
    QCOMPARE(seenDefault, defaultButton);
    QCOMPARE(seenTitle, title);
    QCOMPARE(seenText, text);
}

void tst_DesktopShell::showsTextInEitherEncoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    const QString readMe = QStringLiteral("ソフトの説明\n表示\n");
    QTest::newRow("a Shift_JIS read-me with CR LF line ends")
        << QByteArray("\x83\x5C\x83\x74\x83\x67\x82\xCC\x90\xE0\x96\xBE\r\n\x95\x5C\x8E\xA6\r\n") << readMe;
    QTest::newRow("a UTF-8 read-me with a byte order mark")
        << QByteArray("\xEF\xBB\xBF") + QStringLiteral("ソフトの説明\r\n表示\r\n").toUtf8() << readMe;
    QTest::newRow("a UTF-8 read-me without a byte order mark") << readMe.toUtf8() << readMe;
    QTest::newRow("lone CRs end lines too") << QByteArray("ver 1.0\rver 0.9\r") << QStringLiteral("ver 1.0\nver 0.9\n");
    QTest::newRow("an empty file shows an empty page") << QByteArray("") << QString();
}

void tst_DesktopShell::showsTextInEitherEncoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);

    QTemporaryDir temp;
    const QString file = temp.filePath(QStringLiteral("読んでね.txt"));
    test::writeFile(file, bytes);
    TextViewerWindow viewer(file);
    QCOMPARE(viewer.windowTitle(), QStringLiteral("読んでね.txt"));
    QCOMPARE(viewer.findChild<QPlainTextEdit *>()->toPlainText(), text);
    QVERIFY(viewer.findChild<QPlainTextEdit *>()->isReadOnly());
    QVERIFY(viewer.findChild<QLabel *>(QStringLiteral("notice"))->isHidden());
}

void tst_DesktopShell::saysWhyAFileCannotBeShown_data()
{
    QTest::addColumn<QString>("path"); // relative to a temporary folder unless absolute

    QTest::newRow("a file that does not exist") << QStringLiteral("missing.txt");
    QTest::newRow("a folder") << QStringLiteral(".");
    QTest::newRow("a file that fails on reading") << QStringLiteral("/proc/self/mem");
}

void tst_DesktopShell::saysWhyAFileCannotBeShown()
{
    QFETCH(QString, path);
    QTemporaryDir temp;
    const QString file = QDir(temp.path()).absoluteFilePath(path);
    TextViewerWindow viewer(file);
    viewer.show();
    const auto *notice = viewer.findChild<QLabel *>(QStringLiteral("notice"));
    QVERIFY(notice->isVisible());
    QVERIFY(notice->text().contains(file));
    QVERIFY(viewer.findChild<QPlainTextEdit *>()->toPlainText().isEmpty());
}

void tst_DesktopShell::showsTheStartOfAHugeFileWithANote()
{
    // Non-ASCII text first, so that taking the file for Shift_JIS would show;
    // the limit then falls after the first byte of a three-byte character.
    const qsizetype limit = TextViewerWindow::kMaxBytes;
    QByteArray bytes = QStringLiteral("ソフトの説明\n").toUtf8();
    const QByteArray line = QByteArray(79, 'a') + '\n';
    while (bytes.size() + line.size() < limit - 1)
        bytes += line;
    bytes += QByteArray(limit - 1 - bytes.size(), 'b');
    const QString shown = QString::fromUtf8(bytes);
    bytes += QStringLiteral("あ\n").toUtf8() + line;

    QTemporaryDir temp;
    const QString file = temp.filePath(QStringLiteral("huge.log"));
    test::writeFile(file, bytes);
    TextViewerWindow viewer(file);
    viewer.show();
    const QString text = viewer.findChild<QPlainTextEdit *>()->toPlainText();
    QCOMPARE(text.size(), shown.size());
    QVERIFY(text == shown);
    const auto *notice = viewer.findChild<QLabel *>(QStringLiteral("notice"));
    QVERIFY(notice->isVisible());
    QVERIFY(notice->text().contains(u"16"));
}

void tst_DesktopShell::viewerLeavesTheProgramRunningAndClosesOnEsc()
{
    QTemporaryDir temp;
    const QString file = temp.filePath(QStringLiteral("readme.txt"));
    test::writeFile(file, "hello\r\n");

    DesktopShell shell;
    shell.showTextViewer(file); // returns at once: nothing waits for the reader
    const QPointer<TextViewerWindow> viewer = openViewer();
    QVERIFY(viewer);
    QVERIFY(!viewer->isModal());
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(viewer->findChild<QPlainTextEdit *>()->toPlainText(), QStringLiteral("hello\n"));

    QTest::keyClick(viewer->findChild<QPlainTextEdit *>(), Qt::Key_Escape);
    QTRY_VERIFY(!viewer); // closed and deleted, not merely hidden
}

void tst_DesktopShell::pickersShowWholeColumns_data()
{
    QTest::addColumn<bool>("folders");
    QTest::newRow("the program picker") << false;
    QTest::newRow("the folder picker") << true;
}

void tst_DesktopShell::pickersShowWholeColumns()
{
    QFETCH(bool, folders);
    QTemporaryDir temp;
    const QString name = QStringLiteral("a rather long name that the default column width would cut short");
    if (folders)
        QVERIFY(QDir(temp.path()).mkdir(name));
    else
        test::writeFile(temp.filePath(name), QByteArray(1234, 'x'));

    // The columns narrower than what they show, read from inside the
    // dialog's loop until none is left or the time is up.
    QStringList cut{ QStringLiteral("(never listed)") };
    std::function<void(int)> poll = [&](int attemptsLeft) {
        QTimer::singleShot(20, [&, attemptsLeft] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            auto *view = dialog ? dialog->findChild<QTreeView *>(QStringLiteral("treeView")) : nullptr;
            if (view && view->model()->rowCount(view->rootIndex()) > 0) {
                cut.clear();
                for (int c = 0; c < view->header()->count(); ++c) {
                    if (view->columnWidth(c) < static_cast<QAbstractItemView *>(view)->sizeHintForColumn(c))
                        cut.append(view->model()->headerData(c, Qt::Horizontal).toString());
                }
            }
            if (dialog && (cut.isEmpty() || attemptsLeft == 0))
                dialog->reject();
            else
                poll(attemptsLeft - 1);
        });
    };
    poll(250);

    DesktopShell shell;
    if (folders)
        QCOMPARE(shell.BrowseForFolder(nullptr, QStringLiteral("フォルダ"), temp.path(), 1), QString());
    else
        QCOMPARE(shell.ShowOpenDialog(nullptr, QStringLiteral("実行ファイル|*"), temp.path()), QString());
    QCOMPARE(cut, QStringList());
}

QTEST_MAIN(tst_DesktopShell)
#include "tst_DesktopShell.moc"
