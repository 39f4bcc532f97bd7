#include "core/ItemFile.h"
#include "core/ItemOptions.h"
#include "support/LetterItems.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <memory>
#include <unistd.h>

using namespace pellora;
using namespace Qt::StringLiterals;

namespace {

QString namesIn(const QString &path)
{
    return test::lettersOf(core::ItemFile(path).read().records);
}

void setMode(const QString &path, QFile::Permissions mode)
{
    QVERIFY2(QFile::setPermissions(path, mode), qPrintable(path));
}

const QFile::Permissions kOpen = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
    | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
const QFile::Permissions kReadOnly
    = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;

} // namespace

// Real processes, each holding the item list, on one ITEM.DAT beside a
// portable copy. Run as root, the processes drop to an ordinary user, so
// that a read-only folder is read-only to them.
class tst_ItemListSharing : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void everyProcessKeepsItsChanges_data();
    void everyProcessKeepsItsChanges();
    void everyProcessKeepsItsItemOptions_data();
    void everyProcessKeepsItsItemOptions();
    void readOnlyFolderKeepsTheListAndSaysWhereChangesGo();

private:
    class Peer;
    std::unique_ptr<QTemporaryDir> m_root;
    std::map<QChar, std::unique_ptr<Peer>> m_peers;
    QString path(const QString &relative) const { return m_root->filePath(relative); }
    QString itemFile() const { return path(u"app/ITEM.DAT"_s); }
    QString standIn() const;
    Peer &peer(QChar name);
    void writeList(const QString &names);
};

class tst_ItemListSharing::Peer {
public:
    explicit Peer(const QString &root)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_CONFIG_HOME"_s, root + u"/config"_s);
        env.insert(u"XDG_DATA_HOME"_s, root + u"/data"_s);
        env.insert(u"HOME"_s, root);
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.setReadChannel(QProcess::StandardOutput);
        if (::geteuid() == 0) {
            m_process.setChildProcessModifier([] {
                if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                    ::_exit(97);
            });
        }
        m_process.start(root + u"/app/itemlist_peer"_s);
    }
    ~Peer()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
        m_process.waitForFinished();
    }

    // Sends one command; its answer: the names of the rows, a bar, the
    // message boxes asked meanwhile.
    QString ask(const QString &command)
    {
        m_process.write(command.toUtf8() + '\n');
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(30000))
                return u"no answer: "_s + QString::fromLocal8Bit(m_process.readAllStandardError());
        }
        return QString::fromUtf8(m_process.readLine()).trimmed();
    }

private:
    QProcess m_process;
};

void tst_ItemListSharing::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    for (const QString &folder : { u"app"_s, u"config"_s, u"data"_s })
        QVERIFY(QDir().mkpath(path(folder)));
    const QString peerBinary = path(u"app/itemlist_peer"_s);
    QVERIFY(QFile::copy(QStringLiteral(PELLORA_PEER), peerBinary));
    for (const QString &folder : { QString(), u"app"_s, u"config"_s, u"data"_s })
        setMode(path(folder), kOpen);
    setMode(peerBinary, kReadOnly);
}

void tst_ItemListSharing::cleanup()
{
    m_peers.clear();
    setMode(path(u"app"_s), kOpen);
    m_root.reset();
}

tst_ItemListSharing::Peer &tst_ItemListSharing::peer(QChar name)
{
    std::unique_ptr<Peer> &p = m_peers[name];
    if (!p)
        p = std::make_unique<Peer>(m_root->path());
    return *p;
}

void tst_ItemListSharing::writeList(const QString &names)
{
    QVERIFY(!core::ItemFile(itemFile()).write(test::letterItems(names)));
    setMode(itemFile(), kOpen);
}

QString tst_ItemListSharing::standIn() const
{
    QDirIterator it(path(u"data/Pellora"_s), { u"ITEM.DAT"_s }, QDir::Files, QDirIterator::Subdirectories);
    return it.hasNext() ? it.next() : QString();
}

void tst_ItemListSharing::everyProcessKeepsItsChanges_data()
{
    QTest::addColumn<QStringList>("steps"); // "<peer>:<command>"
    QTest::addColumn<QString>("stored"); // the names in ITEM.DAT at the end
    QTest::newRow("an item another process added survives the list window's close")
        << QStringList{ u"A:open"_s, u"B:open"_s, u"B:add C"_s, u"B:close"_s, u"A:close"_s } << u"ABC"_s;
    QTest::newRow("two windows each add; the first to open closes last")
        << QStringList{ u"A:open"_s, u"B:open"_s, u"A:add D"_s, u"B:add C"_s, u"B:close"_s, u"A:close"_s } << u"ABCD"_s;
    QTest::newRow("two windows each add; the first to open closes first")
        << QStringList{ u"A:open"_s, u"B:open"_s, u"A:add D"_s, u"B:add C"_s, u"A:close"_s, u"B:close"_s } << u"ABDC"_s;
    QTest::newRow("an item removed in one window is not brought back by the other") << QStringList{ u"A:open"_s,
        u"B:open"_s, u"A:remove B"_s, u"A:close"_s, u"B:add C"_s, u"B:close"_s } << u"AC"_s;
    QTest::newRow("an edit in one window and an addition in the other both stay") << QStringList{ u"A:open"_s,
        u"B:open"_s, u"A:edit B X"_s, u"B:add C"_s, u"B:close"_s, u"A:close"_s } << u"ACX"_s;
    QTest::newRow("a sorted window sorts what others added")
        << QStringList{ u"A:open"_s, u"A:sort"_s, u"B:open"_s, u"B:add C"_s, u"B:close"_s, u"A:close"_s } << u"CBA"_s;
}

void tst_ItemListSharing::everyProcessKeepsItsItemOptions_data()
{
    QTest::addColumn<QStringList>("steps"); // "<peer>:<command>"
    QTest::addColumn<QString>("stored"); // the items' options at the end
    QTest::newRow("options set in two windows both stay") << QStringList{ u"A:open"_s, u"B:open"_s, u"A:opt A GBK"_s,
        u"B:opt B strip"_s, u"B:close"_s, u"A:close"_s } << u"A=GBK B=strip"_s;
    QTest::newRow("the same item's options: the later save's change holds") << QStringList{ u"A:open"_s, u"B:open"_s,
        u"A:opt A GBK"_s, u"B:opt A CP437"_s, u"A:close"_s, u"B:close"_s } << u"A=CP437"_s;
    QTest::newRow("options follow an edit while another window adds") << QStringList{ u"C:open"_s,
        u"C:opt B strip,BIG5"_s, u"C:close"_s, u"A:open"_s, u"B:open"_s, u"A:editopt B X"_s, u"B:add C"_s, u"B:close"_s,
        u"A:close"_s } << u"X=strip,BIG5"_s;
    QTest::newRow("a deleted item's options go; another window's stay") << QStringList{ u"C:open"_s,
        u"C:opt A EUC-KR"_s, u"C:opt B strip"_s, u"C:close"_s, u"A:open"_s, u"B:open"_s, u"A:delete A"_s,
        u"B:opt B UTF-8"_s, u"B:close"_s, u"A:close"_s } << u"B=UTF-8"_s;
    QTest::newRow("a window that never touched options keeps them") << QStringList{ u"A:open"_s, u"A:opt A strip"_s,
        u"B:open"_s, u"A:close"_s, u"B:sort"_s, u"B:add C"_s, u"B:close"_s }
                                                                    << u"A=strip"_s;
}

void tst_ItemListSharing::everyProcessKeepsItsItemOptions()
{
    QFETCH(QStringList, steps);
    writeList(u"AB"_s);
    for (const QString &step : steps) {
        const QString answer = peer(step.at(0)).ask(step.mid(2));
        QVERIFY2(answer.startsWith(u"rows="_s), qPrintable(step + u" -> "_s + answer));
    }
    const core::ItemOptionsMap options = core::ItemOptionsFile(itemFile()).read();
    QTEST(test::optionsText(options), "stored");
}

void tst_ItemListSharing::everyProcessKeepsItsChanges()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, stored);
    writeList(u"AB"_s);
    QString last;
    for (const QString &step : steps) {
        last = peer(step.at(0)).ask(step.mid(2));
        QVERIFY2(last.startsWith(u"rows="_s), qPrintable(step + u" -> "_s + last));
    }
    QCOMPARE(namesIn(itemFile()), stored);
    // The window that closed last showed what it stored, and asked nothing.
    QCOMPARE(last, u"rows="_s + QStringList(stored.split(QString(), Qt::SkipEmptyParts)).join(u',') + u'|');
}

void tst_ItemListSharing::readOnlyFolderKeepsTheListAndSaysWhereChangesGo()
{
    writeList(u"AB"_s);
    setMode(itemFile(), kReadOnly);
    setMode(path(u"app"_s), kReadOnly);

    // The list beside the program is read where it is, and the first save
    // that cannot go there says where it went.
    QCOMPARE(peer(u'A').ask(u"open"_s), u"rows=A,B|"_s);
    peer(u'A').ask(u"add C"_s);
    const QString closed = peer(u'A').ask(u"close"_s);
    QVERIFY(!standIn().isEmpty());
    QVERIFY2(closed.contains(itemFile()) && closed.contains(standIn()), qPrintable(closed));
    QCOMPARE(namesIn(itemFile()), u"AB"_s);
    QCOMPARE(namesIn(standIn()), u"ABC"_s);

    // The next run shows the list saved last and keeps saving it there.
    QCOMPARE(peer(u'B').ask(u"open"_s), u"rows=A,B,C|"_s);
    QCOMPARE(peer(u'B').ask(u"close"_s), u"rows=A,B,C|"_s);

    // Once the folder takes files again, the list goes back beside the program.
    setMode(path(u"app"_s), kOpen);
    setMode(itemFile(), kOpen);
    QCOMPARE(peer(u'C').ask(u"open"_s), u"rows=A,B,C|"_s);
    peer(u'C').ask(u"add D"_s);
    QCOMPARE(peer(u'C').ask(u"close"_s), u"rows=A,B,C,D|"_s);
    QCOMPARE(namesIn(itemFile()), u"ABCD"_s);
    QCOMPARE(standIn(), QString());
}

QTEST_GUILESS_MAIN(tst_ItemListSharing)
#include "tst_ItemListSharing.moc"
