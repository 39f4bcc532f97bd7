#include "platform/archiver/ArchiveNaming.h"
#include "platform/archiver/ArchiverLibrary.h"
#include "platform/archiver/LinkPlan.h"
#include "support/ArchiveWriter.h"
#include "support/ArchiverRun.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace pellora;

namespace {

const QString kRelease = QStringLiteral("tar/tool-1.2.3.tar.xz");
const QString kTop = QStringLiteral("tool-1.2.3/");

QString linkTarget(const QString &path)
{
    QByteArray target(4096, '\0');
    const ssize_t n = ::readlink(QFile::encodeName(path).constData(), target.data(), size_t(target.size()));
    return n < 0 ? QString() : QString::fromUtf8(target.left(n));
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class tst_TarKind : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void linkTargetsThatStayInside_data();
    void linkTargetsThatStayInside();
    void namesOfCompressedFiles_data();
    void namesOfCompressedFiles();
    void linksAreMadeLastAndNeverOverSomethingThere();
    void aSecondRunKeepsTheLinksItMade();
    void noLinksSwitchRefusesEveryLink();
    void aStrippedReleaseLandsInTheOutputWithItsLinks();
    void strippingRefusesALinkItWouldSendOut_data();
    void strippingRefusesALinkItWouldSendOut();
    void otherKindsStillRefuseEveryLink();
};

void tst_TarKind::linkTargetsThatStayInside_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("inside");
    QTest::newRow("a sibling") << "lib/libfoo.so"
                               << "libfoo.so.1" << true;
    QTest::newRow("up then down") << "a/bin/tool"
                                  << "../lib/tool" << true;
    QTest::newRow("up to the output folder and down") << "a/b/c"
                                                      << "../../x" << true;
    QTest::newRow("a folder below") << "top/doc"
                                    << "share/doc" << true;
    QTest::newRow("dots and doubled slashes are nothing") << "top/doc"
                                                          << "./share//doc/" << true;
    QTest::newRow("one step above the output folder") << "a/b/c"
                                                      << "../../../x" << false;
    QTest::newRow("a link at the top climbing") << "x"
                                                << "../x" << false;
    QTest::newRow("absolute") << "top/passwd"
                              << "/etc/passwd" << false;
    QTest::newRow("climbing after a name") << "top/r"
                                           << "lib/../x" << false;
    QTest::newRow("climbing after a name even inside") << "a/b/r"
                                                       << "lib/../../x" << false;
    QTest::newRow("empty") << "top/e"
                           << "" << false;
    QTest::newRow("only its own folder") << "top/self"
                                         << "." << false;
    QTest::newRow("only a folder above") << "a/b/up"
                                         << ".." << false;
    QTest::newRow("a drive name") << "top/d"
                                  << "C:/Windows" << false;
    QTest::newRow("a backslash") << "top/d"
                                 << "..\\..\\x" << false;
}

void tst_TarKind::linkTargetsThatStayInside()
{
    QFETCH(QString, link);
    QFETCH(QString, target);
    QFETCH(bool, inside);
    QCOMPARE(arc::linkTargetStaysInside(link.split(u'/'), target), inside);
}

void tst_TarKind::namesOfCompressedFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("single");
    QTest::newRow("gzip") << "notes.txt.gz"
                          << ".gz"
                          << "notes.txt";
    QTest::newRow("xz in upper case") << "/dl/NOTES.TXT.XZ"
                                      << ".XZ"
                                      << "NOTES.TXT";
    QTest::newRow("a compressed tar") << "foo-1.2.tar.xz"
                                      << ".tar.xz"
                                      << "foo-1.2.tar";
    QTest::newRow("zstd tar") << "foo.tar.zst"
                              << ".tar.zst"
                              << "foo.tar";
    QTest::newRow("short tar names") << "foo.tgz"
                                     << ".tgz"
                                     << "foo.tar";
    QTest::newRow("a plain tar") << "foo-1.2.tar"
                                 << ".tar"
                                 << "foo-1.2";
    QTest::newRow("tar in the middle of a name is no extension") << "tar.lzh"
                                                                 << ".lzh"
                                                                 << "tar";
    QTest::newRow("a bare .tar.gz is not doubled") << ".tar.gz"
                                                   << ".gz"
                                                   << ".tar";
    QTest::newRow("a name of the suffix alone") << ".gz"
                                                << ".gz"
                                                << ".gz.out";
    QTest::newRow("no extension") << "README"
                                  << ""
                                  << "README.out";
}

void tst_TarKind::namesOfCompressedFiles()
{
    QFETCH(QString, name);
    QFETCH(QString, extension);
    QFETCH(QString, single);
    QCOMPARE(arc::archiveExtension(name.section(u'/', -1)), extension);
    QCOMPARE(arc::singleFileName(name), single);
}

void tst_TarKind::linksAreMadeLastAndNeverOverSomethingThere()
{
    // A folder where the archive has a link: the link is not made, and what
    // the archive puts behind the link still does not land in the folder.
    QTemporaryDir sandbox;
    const QString out = sandbox.filePath(QStringLiteral("out/"));
    QVERIFY(QDir().mkpath(out + kTop + QStringLiteral("doc")));
    test::writeFile(out + kTop + QStringLiteral("lib/libtool.so"), "mine");
    const auto run = test::extractAll(QStringLiteral("TAR"), test::dataPath(kRelease), out);
    QVERIFY2(QFileInfo(out + kTop + QStringLiteral("doc")).isDir(), qPrintable(run.report));
    QVERIFY(!QFileInfo(out + kTop + QStringLiteral("doc")).isSymLink());
    QVERIFY(!QFile::exists(out + kTop + QStringLiteral("doc/behind.txt")));
    QCOMPARE(contents(out + kTop + QStringLiteral("lib/libtool.so")), QByteArray("mine"));
    QVERIFY2(run.report.contains(QStringLiteral("tool-1.2.3/lib/libtool.so  0 バイト  解凍しませんでした (同じ名前"))
            && run.report.contains(QStringLiteral("tool-1.2.3/doc  0 バイト  解凍しませんでした (同じ名前")),
        qPrintable(run.report));
    // The link that had room was made, after every file.
    QCOMPARE(linkTarget(out + kTop + QStringLiteral("bin/libtool")), QStringLiteral("../lib/libtool.so.1"));
    const qsizetype linkLine = run.report.indexOf(QStringLiteral("tool-1.2.3/bin/libtool "));
    QVERIFY(linkLine > run.report.indexOf(QStringLiteral("tool-1.2.3/share/doc/guide.txt ")));
    QCOMPARE(run.code, int(arc::kResultEntryErrors));
}

void tst_TarKind::aSecondRunKeepsTheLinksItMade()
{
    QTemporaryDir sandbox;
    const QString out = sandbox.filePath(QStringLiteral("out/"));
    test::extractAll(QStringLiteral("TAR"), test::dataPath(kRelease), out);
    for (const QString &replace : { QString(), QStringLiteral(" -o") }) {
        const auto run = test::extractAll(QStringLiteral("TAR"), test::dataPath(kRelease), out, replace);
        QVERIFY2(
            run.report.contains(QStringLiteral("tool-1.2.3/doc  0 バイト  既存のファイルが同じか新しいので残しました")),
            qPrintable(run.report));
        QCOMPARE(linkTarget(out + kTop + QStringLiteral("doc")), QStringLiteral("share/doc"));
        QVERIFY(!QFile::exists(out + kTop + QStringLiteral("share/doc/behind.txt")));
    }
}

void tst_TarKind::noLinksSwitchRefusesEveryLink()
{
    QTemporaryDir sandbox;
    const QString out = sandbox.filePath(QStringLiteral("out/"));
    const auto run = test::extractAll(QStringLiteral("TAR"), test::dataPath(kRelease), out, QStringLiteral(" -nl"));
    for (const QString &name : test::allNames(out))
        QVERIFY2(!QFileInfo(out + name).isSymLink(), qPrintable(name));
    QVERIFY2(run.report.contains(QStringLiteral("tool-1.2.3/lib/libtool.so  0 バイト  解凍しませんでした")),
        qPrintable(run.report));
    QVERIFY(QFile::exists(out + kTop + QStringLiteral("bin/tool")));
}

void tst_TarKind::aStrippedReleaseLandsInTheOutputWithItsLinks()
{
    QTemporaryDir sandbox;
    const QString out = sandbox.filePath(QStringLiteral("out/"));
    const auto run
        = test::extractAll(QStringLiteral("TAR"), test::dataPath(kRelease), out, QStringLiteral(" --strip-top"));
    QVERIFY2(run.report.contains(QStringLiteral("先頭のフォルダ tool-1.2.3/ を取り除いて解凍しました")),
        qPrintable(run.report));
    QVERIFY(!QFileInfo::exists(out + kTop));
    QCOMPARE(contents(out + QStringLiteral("bin/tool")).isEmpty(), false);
    QVERIFY(QFileInfo(out + QStringLiteral("bin/tool")).isExecutable());
    // A target relative to the link's own folder leads to the same file
    // whether or not the folder above was taken off.
    const QString canonicalOut = QFileInfo(out).canonicalFilePath();
    QCOMPARE(QFileInfo(out + QStringLiteral("bin/libtool")).canonicalFilePath(),
        canonicalOut + QStringLiteral("/lib/libtool.so.1"));
    QCOMPARE(QFileInfo(out + QStringLiteral("lib/libtool.so")).canonicalFilePath(),
        canonicalOut + QStringLiteral("/lib/libtool.so.1"));
    QCOMPARE(QFileInfo(out + QStringLiteral("doc")).canonicalFilePath(), canonicalOut + QStringLiteral("/share/doc"));
    QVERIFY(!QFile::exists(out + QStringLiteral("share/doc/behind.txt")));
}

void tst_TarKind::strippingRefusesALinkItWouldSendOut_data()
{
    QTest::addColumn<QString>("extra");
    QTest::addColumn<QStringList>("made"); // links made, each leading to README
    QTest::addColumn<QStringList>("refused");
    QTest::newRow("kept whole, every link stays inside")
        << QString() << QStringList{ "top/readme-link", "top/bin/readme", "top/up", "top/bin/up" } << QStringList();
    QTest::newRow("stripped, the links naming the top folder would climb out") << QStringLiteral(
        " --strip-top") << QStringList{ "readme-link", "bin/readme" } << QStringList{ "up", "bin/up" };
}

void tst_TarKind::strippingRefusesALinkItWouldSendOut()
{
    // Seen from the output folder, "../top/README" from top/ is the archive's
    // own read-me; once top/ is gone the same text leads above the output
    // folder, where a folder named top may well hold something else.
    QFETCH(QString, extra);
    QFETCH(QStringList, made);
    QFETCH(QStringList, refused);
    QTemporaryDir sandbox;
    const QString archive = sandbox.filePath(QStringLiteral("top.tar"));
    test::writeTar(archive,
        { { "top/README", "read me\n", {} }, { "top/readme-link", {}, "README" }, { "top/bin/readme", {}, "../README" },
            { "top/up", {}, "../top/README" }, { "top/bin/up", {}, "../../top/README" } });
    test::writeFile(sandbox.filePath(QStringLiteral("top/README")), "outside\n");
    const QString out = sandbox.filePath(QStringLiteral("out/"));
    const auto run = test::extractAll(QStringLiteral("TAR"), archive, out, extra);
    for (const QString &link : made)
        QVERIFY2(contents(out + link) == "read me\n", qPrintable(link + u'\n' + run.report));
    for (const QString &link : refused) {
        QVERIFY2(!QFileInfo(out + link).isSymLink(), qPrintable(link));
        QVERIFY2(run.report.contains(
                     link + QStringLiteral("  0 バイト  解凍しませんでした (シンボリックリンクは作成しません)")),
            qPrintable(run.report));
    }
}

void tst_TarKind::otherKindsStillRefuseEveryLink()
{
    // The ZIP language accepts the switch, but ZIP links stay refused whatever it says.
    QTemporaryDir sandbox;
    const QString out = sandbox.filePath(QStringLiteral("out/"));
    const auto run = test::runCommand(QStringLiteral("UNZIP32.DLL"),
        QStringLiteral("-x -i --i \"%1\" \"%2\" \"*.*\"")
            .arg(test::dataPath(QStringLiteral("zip/several-links.zip")), out));
    for (const QString &name : test::allNames(out))
        QVERIFY2(!QFileInfo(out + name).isSymLink(), qPrintable(name + u'\n' + run.report));
    QVERIFY2(run.report.contains(QStringLiteral("シンボリックリンクは作成しません")), qPrintable(run.report));
}

QTEST_GUILESS_MAIN(tst_TarKind)
#include "tst_TarKind.moc"
