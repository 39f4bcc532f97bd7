#include "extract/Melt.h"

#include "core/ArchiveKind.h"
#include "core/RunHistory.h"
#include "core/TargetFolder.h"
#include "core/clsItem.h"
#include "core/modRegistry.h"
#include "extract/frmLog.h"
#include "platform/Paths.h"
#include "platform/Shell.h"
#include "platform/archiver/ArchiverRegistry.h"
#include "platform/archiver/Report.h"

#include <QApplication>
#include <QFileInfo>
#include <QWidget>

#include <optional>
#include <vector>

namespace pellora::extract {

MeltCall composeMeltCall(const QString &archiveType, const QString &archivePath, const QString &outputFolder,
    const QString &file, const QString &command, const arc::NameOptions &names)
{
    MeltCall call;
    const arc::ArchiveKindInfo *kind = arc::archiveKindOfType(archiveType);
    if (!kind)
        return call;
    call.library = QString::fromLatin1(kind->library);
    QString switches = arc::toQString(kind->baseSwitches) + core::readText(core::switchesSetting(*kind));
    // The LZH library names a single entry by file name unless told otherwise.
    if (kind->language == arc::SwitchLanguage::Lzh && file != u"*.*")
        switches += QStringLiteral(" -p");
    if (command != core::kMissing)
        switches = command;
    // After the user's switches, which may be any: the names must come out
    // as the listing showed them, so one entry asked for by name is found.
    if (names.stripTopFolder)
        switches += QStringLiteral(" --strip-top");
    if (arc::nameEncodings().contains(names.encoding))
        switches += QStringLiteral(" --names=") + names.encoding;
    // The texts are quoted without escapes, so a quote inside one would end
    // it early and the rest would be read as another argument.
    for (const QString &text : { archivePath, outputFolder, file }) {
        if (text.contains(u'"')) {
            call.refusal = QStringLiteral("パスに \" が含まれているため解凍できません。\n%1").arg(text);
            return call;
        }
    }
    call.commandLine = QStringLiteral("%1 \"%2\" \"%3\" \"%4\"").arg(switches, archivePath, outputFolder, file);
    // The ZIP language takes "/" as its separator; native separators are turned into it.
    if (kind->language == arc::SwitchLanguage::Zip && platform::kPathSeparator != u'/')
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

namespace {

// What the library made of one call, or why it was never called.
struct LibraryRun {
    bool ran = false;
    int code = 0;
    QString report; // the library's report, or the refusal's message
    QString outputFolder;
    QString runId; // the recorded run, when a whole extraction was recorded
};

// Composes and makes the library call. Refusals before the library runs are
// returned as messages with the style of their box; nothing is written then.
LibraryRun runLibrary(const QString &archiveType, const QString &path, const QString &titleOrName,
    const QString &historyTitle, const QString &output, const QString &file, const QString &command,
    const arc::NameOptions &names, int *style)
{
    LibraryRun run;
    run.outputFolder = output;
    if (IsAbsoluteFolder(run.outputFolder))
        run.outputFolder = platform::withTrailingSeparator(run.outputFolder);
    const extract::MeltCall call = extract::composeMeltCall(archiveType, path, run.outputFolder, file, command, names);
    *style = platform::vbOKOnly;
    const auto library = call.library.isEmpty() ? nullptr : arc::ArchiverRegistry::find(call.library);
    if (call.library.isEmpty() || (call.refusal.isEmpty() && !library)) {
        run.report = QStringLiteral("対応していないアーカイブ形式です。");
        return run;
    }
    *style = platform::vbOKOnly | platform::vbExclamation;
    if (!call.refusal.isEmpty()) {
        run.report = call.refusal;
        return run;
    }
    // Refused before the library runs: nothing is written and the archive
    // stays where it is.
    if (!IsAbsoluteFolder(run.outputFolder)) {
        run.report = NotAbsoluteTargetMessage(titleOrName, run.outputFolder);
        return run;
    }

    constexpr qsizetype kOutputSize = 64000; // what the libraries are promised
    std::vector<char> buffer(kOutputSize, 0);
    // Whatever a whole extraction replaces or creates is recorded so the run
    // can be undone; single entries opened from a listing go to a temporary
    // folder of the program's own and are not.
    std::optional<Recording> recording;
    if (file == u"*.*")
        recording.emplace(historyFolder(), historyTitle, path, run.outputFolder);
    const RecordingScope scope(recording ? &*recording : nullptr);
    if (archiveType == u"LZH") {
        // The LZH library wants an owner of its own: a hidden window that
        // lives just for the call, or none where no window can exist.
        if (qobject_cast<QApplication *>(QCoreApplication::instance())) {
            QWidget frmDummy;
            frmDummy.setWindowTitle(QStringLiteral("ダミー"));
            run.code = library->Command(&frmDummy, call.commandLine, buffer.data(), kOutputSize);
        } else {
            run.code = library->Command(nullptr, call.commandLine, buffer.data(), kOutputSize);
        }
    } else {
        run.code = library->Command(nullptr, call.commandLine, buffer.data(), kOutputSize);
    }
    run.runId = recording ? recording->finish() : QString();
    if (!run.runId.isEmpty())
        applyRetention(historyFolder());
    run.ran = true;
    run.report = QString::fromUtf8(buffer.data());
    return run;
}

} // namespace

int clsItem::MeltUnattended(QString *report)
{
    int style = 0;
    const LibraryRun run = runLibrary(m_archiveType, m_path, m_title.isEmpty() ? Name() : m_title, m_title, m_output,
        QStringLiteral("*.*"), kMissing, m_options.names(), &style);
    if (!run.ran) {
        *report = run.report;
        return -1;
    }
    *report = extract::resultText(m_output, run.report);
    report->replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // Only a complete run lets the archive go, as in a watched run.
    if (run.code == arc::kResultOk)
        DisposeArchive();
    return run.code;
}

void clsItem::Melt(const QString &file, const QString &output, const QString &command)
{
    const QString requested = output == kMissing ? m_output : output;
    // Only an item's whole extraction is the run's purpose; opening one entry
    // for a look that fails is no failure of the run.
    const bool wholeIntoItem = requested == m_output && file == u"*.*";
    int style = 0;
    const LibraryRun run = runLibrary(m_archiveType, m_path, m_title.isEmpty() ? Name() : m_title, m_title, requested,
        file, command, m_options.names(), &style);
    if (!run.ran) {
        if (wholeIntoItem)
            gblnExtractionFailed = true;
        platform::shell().messageBox(run.report, style, QStringLiteral("Pellora"));
        return;
    }
    const int code = run.code;

    if (!wholeIntoItem)
        return;
    // A failed or cancelled run must not pass for a success: its report is
    // shown even when the result window is switched off, and the archive,
    // perhaps the only copy, stays where it is.
    const bool complete = code == 0;
    if (!complete)
        gblnExtractionFailed = true;
    // A run undone from the result window is over: the archive stays and nothing opens.
    if ((!readYesNo(setting(u"NoLog")) || !complete)
        && extract::frmLog::showReport(extract::resultText(m_output, run.report), run.runId))
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
