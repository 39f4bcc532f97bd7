#include "extract/Melt.h"

#include "core/RunHistory.h"
#include "core/TargetFolder.h"
#include "core/clsItem.h"
#include "core/modRegistry.h"
#include "extract/frmLog.h"
#include "platform/Paths.h"
#include "platform/Shell.h"
#include "platform/archiver/ArchiverRegistry.h"
#include "platform/archiver/Report.h"

#include <QFileInfo>
#include <QWidget>

#include <optional>
#include <vector>

namespace pellora::extract {

MeltCall composeMeltCall(const QString &archiveType, const QString &archivePath, const QString &outputFolder,
    const QString &file, const QString &command)
{
    MeltCall call;
    QString switches;
    if (archiveType == u"LZH") {
        call.library = QString::fromLatin1(arc::kUnlhaLibrary);
        switches = QStringLiteral("x -a1 -jp1") + core::readText(core::setting(u"UnlhaCommandLine"));
        if (file != u"*.*")
            switches += QStringLiteral(" -p");
    } else if (archiveType == u"ZIP") {
        call.library = QString::fromLatin1(arc::kUnzipLibrary);
        switches = QStringLiteral("-x -i") + core::readText(core::setting(u"UnzipCommandLine"));
    } else if (archiveType == u"CAB") {
        call.library = QString::fromLatin1(arc::kCabLibrary);
        switches = QStringLiteral("-x -k -n") + core::readText(core::setting(u"CabCommandLine"));
    } else {
        return call;
    }
    if (command != core::kMissing)
        switches = command;
    // The texts are quoted without escapes, so a quote inside one would end
    // it early and the rest would be read as another argument.
    for (const QString &text : { archivePath, outputFolder, file }) {
        if (text.contains(u'"')) {
            call.refusal = QStringLiteral("パスに \" が含まれているため解凍できません。\n%1").arg(text);
            return call;
        }
    }
    call.commandLine = QStringLiteral("%1 \"%2\" \"%3\" \"%4\"").arg(switches, archivePath, outputFolder, file);
    // The ZIP library takes "/" as its separator; native separators are turned into it.
    if (archiveType == u"ZIP" && platform::kPathSeparator != u'/')
        call.commandLine.replace(platform::kPathSeparator, u'/');
    return call;
}

QString resultText(const QString &outputFolder, const QString &report)
{
    // The folder comes from the item list: like the entry names in the report,
    // it is escaped so that it cannot add lines of its own.
    QString text = QStringLiteral("TargetFolder : ") + arc::escapeControls(outputFolder) + QStringLiteral("\r\n");
    QString body = report;
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    body.replace(u'\n', QStringLiteral("\r\n"));
    text += body;
    // The libraries report "/"; the window shows the system's own separator.
    if (platform::kPathSeparator != u'/')
        text.replace(u'/', platform::kPathSeparator);
    return text;
}

} // namespace pellora::extract

namespace pellora::core {

void clsItem::Melt(const QString &file, const QString &output, const QString &command)
{
    QString outputFolder = output == kMissing ? m_output : output;
    if (IsAbsoluteFolder(outputFolder))
        outputFolder = platform::withTrailingSeparator(outputFolder);
    const extract::MeltCall call = extract::composeMeltCall(m_archiveType, m_path, outputFolder, file, command);
    if (call.library.isEmpty()) {
        platform::shell().messageBox(
            QStringLiteral("対応していないアーカイブ形式です。"), platform::vbOKOnly, QStringLiteral("Pellora"));
        return;
    }
    if (!call.refusal.isEmpty()) {
        platform::shell().messageBox(
            call.refusal, platform::vbOKOnly | platform::vbExclamation, QStringLiteral("Pellora"));
        return;
    }
    const auto library = arc::ArchiverRegistry::find(call.library);
    if (!library) {
        platform::shell().messageBox(
            QStringLiteral("対応していないアーカイブ形式です。"), platform::vbOKOnly, QStringLiteral("Pellora"));
        return;
    }

    // Refused before the library runs: nothing is written and the archive
    // stays where it is.
    if (!IsAbsoluteFolder(outputFolder)) {
        platform::shell().messageBox(NotAbsoluteTargetMessage(m_title.isEmpty() ? Name() : m_title, outputFolder),
            platform::vbOKOnly | platform::vbExclamation, QStringLiteral("Pellora"));
        return;
    }

    constexpr qsizetype kOutputSize = 64000; // what the libraries are promised
    std::vector<char> buffer(kOutputSize, 0);
    // Whatever a whole extraction replaces or creates is recorded so the run
    // can be undone; single entries opened from a listing go to a temporary
    // folder of the program's own and are not.
    std::optional<Recording> recording;
    if (file == u"*.*")
        recording.emplace(historyFolder(), m_title, m_path, outputFolder);
    const RecordingScope scope(recording ? &*recording : nullptr);
    int code;
    if (m_archiveType == u"LZH") {
        // The LZH library wants a window of its own as owner: a hidden one
        // that lives just for the call.
        QWidget frmDummy;
        frmDummy.setWindowTitle(QStringLiteral("ダミー"));
        code = library->Command(&frmDummy, call.commandLine, buffer.data(), kOutputSize);
    } else {
        code = library->Command(nullptr, call.commandLine, buffer.data(), kOutputSize);
    }
    const QString runId = recording ? recording->finish() : QString();
    if (!runId.isEmpty())
        applyRetention(historyFolder());

    if (outputFolder != m_output || file != u"*.*")
        return;
    // A failed or cancelled run must not pass for a success: its report is
    // shown even when the result window is switched off, and the archive,
    // perhaps the only copy, stays where it is.
    const bool complete = code == 0;
    // A run undone from the result window is over: the archive stays and nothing opens.
    if ((!readYesNo(setting(u"NoLog")) || !complete)
        && extract::frmLog::showReport(extract::resultText(m_output, QString::fromUtf8(buffer.data())), runId))
        return;
    if (complete)
        DisposeArchive();
    if (readYesNo(setting(u"RunExplorer")))
        OpenFiler();
    if (!m_relation.isEmpty()) {
        const QFileInfo related(m_output + m_relation);
        if (related.isFile() && !related.isHidden())
            OpenRelation();
    }
}

} // namespace pellora::core
