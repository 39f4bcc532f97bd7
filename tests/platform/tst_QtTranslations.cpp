#include "platform/Locale.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

using namespace pellora;

// Qt's own texts in a program that speaks Japanese whatever the system
// locale (the tests run under C.UTF-8).
class tst_QtTranslations : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void standardButtonsAreJapanese_data();
    void standardButtonsAreJapanese();
    void fileDialogIsJapanese();
};

void tst_QtTranslations::initTestCase()
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    // Only a machine without Qt's translation files may pass without them;
    // there the program shows Qt's English texts.
    if (!QFile::exists(folder + QStringLiteral("/qtbase_ja.qm")))
        QSKIP("Qt's Japanese translations are not installed (scripts/install-deps.sh installs them)");
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
    QVERIFY(platform::installQtTranslations());
    QVERIFY(platform::installQtTranslations());
}

void tst_QtTranslations::standardButtonsAreJapanese_data()
{
    QTest::addColumn<QMessageBox::StandardButton>("button");
    QTest::addColumn<QString>("text");
    QTest::newRow("Yes") << QMessageBox::Yes << QStringLiteral("はい");
    QTest::newRow("No") << QMessageBox::No << QStringLiteral("いいえ");
    QTest::newRow("Cancel") << QMessageBox::Cancel << QStringLiteral("キャンセル");
    QTest::newRow("Retry") << QMessageBox::Retry << QStringLiteral("再試行");
}

void tst_QtTranslations::standardButtonsAreJapanese()
{
    QFETCH(QMessageBox::StandardButton, button);
    QFETCH(QString, text);
    QMessageBox box;
    box.setStandardButtons(button);
    // Mnemonics such as "(&Y)" are the style's affair, not the word's.
    QCOMPARE(box.button(button)->text().remove(QRegularExpression(QStringLiteral("\\(&.\\)|&"))), text);
    const auto standard = QDialogButtonBox::StandardButton(int(button));
    QDialogButtonBox buttons(standard);
    QCOMPARE(buttons.button(standard)->text(), box.button(button)->text());
}

void tst_QtTranslations::fileDialogIsJapanese()
{
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto *lookIn = dialog.findChild<QLabel *>(QStringLiteral("lookInLabel"));
    QVERIFY(lookIn);
    QVERIFY(!lookIn->text().isEmpty());
    QVERIFY2(!lookIn->text().contains(QStringLiteral("Look in")), qPrintable(lookIn->text()));
}

QTEST_MAIN(tst_QtTranslations)
#include "tst_QtTranslations.moc"
