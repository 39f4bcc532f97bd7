// The archive's path arrives on the command line as text and is turned into
// its long form (ToLongPath) before anything else; entry names from archives
// are split into safe components (makeEntryPath). Any text must give a
// well-formed answer. The long form is looked up for real, in a folder tree
// made at start and the current folder while fuzzing.
//
// Input: UTF-8 text.

#include "FuzzSupport.h"

#include "platform/Paths.h"
#include "platform/archiver/EntryName.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

using pellora::fuzz::check;

namespace {

QString g_root;

void makeTree()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/pellora-fuzz-XXXXXX"));
    check(dir.isValid(), "cannot make a temporary folder");
    g_root = QDir(dir.path()).canonicalPath();
    QDir root(g_root);
    for (const QString &folder :
        { QStringLiteral("a/b/c"), QStringLiteral("doc"), QStringLiteral("ソフト/版 1"), QStringLiteral("dot.d/..x") })
        check(root.mkpath(folder), "cannot make the tree");
    for (const QString &file : { QStringLiteral("a/file.lzh"), QStringLiteral("a/b/c/deep.zip"),
             QStringLiteral("ソフト/版 1/解凍.cab"), QStringLiteral(" lead") }) {
        QFile f(root.filePath(file));
        check(f.open(QIODevice::WriteOnly), "cannot make the tree");
    }
    // A link pointing up and one pointing nowhere: lstat sees both.
    check(::symlink("..", QFile::encodeName(root.filePath(QStringLiteral("a/up"))).constData()) == 0
            && ::symlink("missing", QFile::encodeName(root.filePath(QStringLiteral("dangling"))).constData()) == 0,
        "cannot make the links");
    check(QDir::setCurrent(root.filePath(QStringLiteral("a/b"))), "cannot enter the tree");
}

void checkLongPath(const QString &text)
{
    const QString result = pellora::platform::ToLongPath(text);
    if (result.isEmpty())
        return;
    check(result.startsWith(u'/'), "a long path is not absolute", text);
    check(result == u"/" || !result.endsWith(u'/'), "a long path ends with a separator", text);
    check(!result.contains(QStringLiteral("//")), "a long path holds an empty component", text);
    for (const QString &part : result.split(u'/', Qt::SkipEmptyParts))
        check(part != u"." && part != u"..", "a long path holds . or ..", text);
    // Every component was looked up, so the whole path exists (as a name:
    // links are not followed).
    struct stat st { };
    check(!result.contains(QChar(0)) && ::lstat(QFile::encodeName(result).constData(), &st) == 0,
        "a long path names nothing", text);
    // Blanks at the ends are trimmed, so a name that ends in one cannot come back.
    if (!result.back().isSpace())
        check(pellora::platform::ToLongPath(result) == result, "the long form of a long path differs", text);
}

void checkEntryPath(const QString &name)
{
    const pellora::arc::EntryPath path = pellora::arc::makeEntryPath(name);
    check(path.isSafe() != path.components.isEmpty(), "a safe entry path without components, or the reverse", name);
    for (const QString &part : path.components) {
        check(!part.isEmpty() && part != u"." && part != u"..", "an entry component is empty, . or ..", name);
        check(!part.contains(u'/') && !part.contains(u'\\') && !part.contains(QChar(0)),
            "an entry component holds a separator or a NUL", name);
    }
    if (path.isSafe())
        check(!name.startsWith(u'/') && !name.startsWith(u'\\'), "an absolute entry name was taken", name);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    pellora::fuzz::quietQt();
    makeTree();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    checkLongPath(text);
    // The same text below the tree's root, as an absolute path.
    checkLongPath(g_root + u'/' + text);
    checkEntryPath(text);
    return 0;
}
