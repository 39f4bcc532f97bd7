#include "platform/archiver/CommandLine.h"

#include "platform/archiver/ArchiveKinds.h"

#include <QStringList>

namespace pellora::arc {

namespace {

struct Tokens {
    QStringList switches;
    QStringList texts;
    QString error;
};

Tokens tokenize(const QString &line)
{
    Tokens t;
    qsizetype i = 0;
    const qsizetype n = line.size();
    while (i < n) {
        const QChar c = line.at(i);
        if (c.isSpace()) {
            ++i;
            continue;
        }
        if (c == u'"') {
            const qsizetype end = line.indexOf(u'"', i + 1);
            if (end < 0) {
                t.error = QStringLiteral("引用符が閉じていません: %1").arg(line.mid(i));
                return t;
            }
            t.texts.append(line.mid(i + 1, end - i - 1));
            i = end + 1;
            continue;
        }
        qsizetype end = i;
        while (end < n && !line.at(end).isSpace() && line.at(end) != u'"')
            ++end;
        const QString word = line.mid(i, end - i);
        if (word.startsWith(u'-') || t.texts.isEmpty())
            t.switches.append(word);
        else
            t.texts.append(word); // an unquoted path after the first text
        i = end;
    }
    return t;
}

QString unknownSwitch(const QString &sw)
{
    return QStringLiteral("不明なスイッチです: %1").arg(sw);
}

// LZH: a command word, then switches.
//   x    extract, re-creating the folders stored in the archive
//   -a1  keep every attribute (accepted; modes come from the umask here)
//   -jp1 extract entries whose names hold a path (accepted; always done)
//   -n   show no progress window
//   -c   replace existing files whatever their dates
//   -jc  skip damaged entries and headers and carry on
//   -p   the filter names one entry by its full path (without it, by file name)
std::optional<QString> applyLzhSwitch(const QString &sw, ExtractCommand &cmd, bool &haveCommand)
{
    if (sw == u"x" && !haveCommand) {
        haveCommand = true;
        return std::nullopt;
    }
    if (sw == u"-a1" || sw == u"-jp1")
        return std::nullopt;
    if (sw == u"-n")
        cmd.noProgress = true;
    else if (sw == u"-c")
        cmd.replaceAlways = true;
    else if (sw == u"-jc")
        cmd.skipDamaged = true;
    else if (sw == u"-p")
        cmd.filterIsFullPath = true;
    else
        return unknownSwitch(sw);
    return std::nullopt;
}

// ZIP (the command line arrives with "\" already turned into "/"):
//   -x   extract with folders
//   -i   accepted (no effect here)
//   --i  show no progress window
//   -o   replace existing files whatever their dates
//   -nl  make no symbolic links (links are only ever made from tarballs)
std::optional<QString> applyZipSwitch(const QString &sw, ExtractCommand &cmd, bool &haveCommand)
{
    if (sw == u"-x")
        haveCommand = true;
    else if (sw == u"-i")
        ;
    else if (sw == u"--i")
        cmd.noProgress = true;
    else if (sw == u"-o")
        cmd.replaceAlways = true;
    else if (sw == u"-nl")
        cmd.noLinks = true;
    else
        return unknownSwitch(sw);
    return std::nullopt;
}

// CAB:
//   -x   extract with folders
//   -k   accepted (folders are always kept)
//   -n   accepted (no effect here)
//   -i   show no progress window
//   -o   replace existing files whatever their dates
std::optional<QString> applyCabSwitch(const QString &sw, ExtractCommand &cmd, bool &haveCommand)
{
    if (sw == u"-x")
        haveCommand = true;
    else if (sw == u"-k" || sw == u"-n")
        ;
    else if (sw == u"-i")
        cmd.noProgress = true;
    else if (sw == u"-o")
        cmd.replaceAlways = true;
    else
        return unknownSwitch(sw);
    return std::nullopt;
}

// The item's name options, one spelling for all three languages (none of
// them has a switch starting with "--n" or "--s"):
//   --names=ENC  read entry names in ENC (one of nameEncodings())
//   --strip-top  extract the contents of a lone top folder directly
// Nothing when the switch is none of them.
std::optional<std::optional<QString>> applyNameSwitch(const QString &sw, ExtractCommand &cmd)
{
    static const QString kNames = QStringLiteral("--names=");
    if (sw == u"--strip-top") {
        cmd.names.stripTopFolder = true;
        return std::optional<QString>();
    }
    if (!sw.startsWith(kNames))
        return std::nullopt;
    const QString encoding = sw.mid(kNames.size()).toUpper();
    if (!nameEncodings().contains(encoding))
        return std::optional<QString>(QStringLiteral("不明な文字コードです: %1").arg(sw.mid(kNames.size())));
    cmd.names.encoding = encoding;
    return std::optional<QString>();
}

// Matches * and ? over a whole text, iteratively: linear in practice, with no
// exponential backtracking whatever the pattern.
bool wildcardMatch(QStringView pattern, QStringView text)
{
    qsizetype p = 0, t = 0, starP = -1, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starT = t;
        } else if (starP >= 0) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

QString normalizeSeparators(QString path)
{
    path.replace(u'\\', u'/');
    while (path.startsWith(u"./"))
        path.remove(0, 2);
    return path;
}

} // namespace

std::variant<ExtractCommand, CommandLineError> parseCommandLine(ArchiveFormat format, const QString &commandLine)
{
    const Tokens tokens = tokenize(commandLine);
    if (!tokens.error.isEmpty())
        return CommandLineError{ tokens.error };

    const SwitchLanguage language = archiveKindOf(format).language;
    ExtractCommand cmd;
    // LZH matches a bare filter by file name unless -p says it is a full path.
    cmd.filterIsFullPath = language != SwitchLanguage::Lzh;
    bool haveCommand = false;
    for (const QString &sw : tokens.switches) {
        if (const auto named = applyNameSwitch(sw, cmd)) {
            if (*named)
                return CommandLineError{ **named };
            continue;
        }
        std::optional<QString> error;
        switch (language) {
        case SwitchLanguage::Lzh:
            error = applyLzhSwitch(sw, cmd, haveCommand);
            break;
        case SwitchLanguage::Zip:
            error = applyZipSwitch(sw, cmd, haveCommand);
            break;
        case SwitchLanguage::Cab:
            error = applyCabSwitch(sw, cmd, haveCommand);
            break;
        }
        if (error)
            return CommandLineError{ *error };
    }
    if (!haveCommand)
        return CommandLineError{ language == SwitchLanguage::Lzh
                ? QStringLiteral("コマンドがありません (x を指定してください)")
                : QStringLiteral("コマンドがありません (-x を指定してください)") };
    if (tokens.texts.size() < 2)
        return CommandLineError{ QStringLiteral("アーカイブと解凍先フォルダを指定してください") };
    if (tokens.texts.size() > 3)
        return CommandLineError{ QStringLiteral("余分な引数があります: %1").arg(tokens.texts.at(3)) };
    cmd.archive = tokens.texts.at(0);
    cmd.outputFolder = tokens.texts.at(1);
    if (tokens.texts.size() == 3 && !tokens.texts.at(2).isEmpty())
        cmd.filter = tokens.texts.at(2);
    if (cmd.archive.isEmpty())
        return CommandLineError{ QStringLiteral("アーカイブが指定されていません") };
    if (cmd.outputFolder.isEmpty())
        return CommandLineError{ QStringLiteral("解凍先フォルダが指定されていません") };
    return cmd;
}

bool filterSelects(const ExtractCommand &command, const QString &entryPath)
{
    const QString filter = normalizeSeparators(command.filter);
    if (filter == u"*.*" || filter == u"*")
        return true;
    QString path = normalizeSeparators(entryPath);
    if (!command.filterIsFullPath)
        path = path.mid(path.lastIndexOf(u'/') + 1);
    return wildcardMatch(filter, path);
}

} // namespace pellora::arc
