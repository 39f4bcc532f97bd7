#include "platform/archiver/Extraction.h"

#include "platform/TextCodec.h"
#include "platform/archiver/ArchiveReader.h"
#include "platform/archiver/ArchiverLibrary.h"
#include "platform/archiver/EntryName.h"
#include "platform/archiver/LinkPlan.h"
#include "platform/archiver/NameRule.h"
#include "platform/archiver/OutputTree.h"
#include "platform/archiver/PathTree.h"
#include "platform/archiver/Progress.h"
#include "platform/archiver/Report.h"
#include "platform/archiver/RunRecorder.h"

#include <archive.h>
#include <archive_entry.h>
#include <cerrno>

namespace pellora::arc {

namespace {

using Outcome = Report::Outcome;

class Run final {
public:
    Run(ArchiveFormat format, const ExtractCommand &command, ProgressState *progress, qsizetype reportLimit)
        : m_format(format)
        , m_command(command)
        , m_progress(progress)
        , m_reportLimit(reportLimit)
    {
    }

    ExtractionResult execute();

private:
    // What became of one entry's data; Fatal ends the run.
    enum class DataEnd { Written, Damaged, Fatal, NotWritten };

    void reportDamagedHeader();
    void extractEntry(const EntryPath &path);
    void extractFolder(const EntryPath &path);
    void extractFile(const EntryPath &path, qint64 size);
    DataEnd copyData(OutputTree::PendingFile &file, qint64 declared, qint64 *written, QString *detail);
    bool entryTime(struct timespec *time) const;

    ArchiveFormat m_format;
    const ExtractCommand &m_command;
    ProgressState *m_progress;
    qsizetype m_reportLimit;
    std::unique_ptr<ArchiveReader> m_reader;
    NameRule m_names;
    OutputTree m_tree;
    Report m_report;
    // Folder times to restore at the end, and the link entries not created:
    // what the archive puts "through" them is meant to land wherever they
    // point, so it is refused too.
    PathTree m_paths;
    LinkPlan m_links; // safe links, made after every other entry
    bool m_fatal = false;
};

ExtractionResult Run::execute()
{
    QString reason;
    m_reader = ArchiveReader::open(m_format, m_command.archive, &reason, m_command.names.encoding);
    if (!m_reader) {
        m_report.failure(QStringLiteral("アーカイブを開けません: %1 (%2)").arg(m_command.archive, reason));
        return { kResultCannotOpen, m_report.text(m_reportLimit) };
    }
    m_tree.setRecorder(runRecorder());
    if (const OutputProblem problem = m_tree.open(m_command.outputFolder)) {
        m_report.failure(
            QStringLiteral("解凍先フォルダを作成できません: %1 (%2)").arg(m_command.outputFolder, problem.describe()));
        return { kResultOutputFolder, m_report.text(m_reportLimit) };
    }
    if (m_progress)
        m_progress->setArchiveSize(m_reader->fileSize());
    m_reader->setSkipDamagedHeaders(m_command.skipDamaged);
    m_names = NameRule::prepare(m_format, m_command.archive, m_command.names);
    if (const QString note = m_names.reportNote(); !note.isEmpty())
        m_report.note(note);

    bool cancelled = false;
    bool endedEarly = false;
    for (;;) {
        const ArchiveReader::Next next = m_reader->next();
        if (next == ArchiveReader::Next::End)
            break;
        if (next == ArchiveReader::Next::Fatal) {
            m_report.header(m_reader->errorString());
            endedEarly = true;
            break;
        }
        if (next == ArchiveReader::Next::Damaged) {
            reportDamagedHeader();
            if (!m_command.skipDamaged) {
                endedEarly = true;
                break;
            }
            continue;
        }
        // The filter names entries as the listing showed them: stripped.
        const EntryPath path = m_names.path(*m_reader);
        if (!filterSelects(m_command, path.isSafe() ? path.display : m_reader->entryName()))
            continue;
        extractEntry(path);
        if (m_fatal) {
            endedEarly = true;
            break;
        }
        if (m_progress && m_progress->cancelRequested()) {
            cancelled = true;
            break;
        }
    }

    if (cancelled)
        m_links.reportNotMade(m_report);
    else
        m_links.create(m_tree, m_report);
    // Folder times last: writing into a folder changes its time.
    m_paths.forEachFolderTime([this](const QStringList &components, const struct timespec &mtime) {
        m_tree.setFolderTime(components, mtime);
    });

    if (endedEarly)
        m_report.endedEarly();
    if (cancelled)
        m_report.cancelled();
    int code = kResultOk;
    if (cancelled)
        code = kResultCancelled;
    else if (endedEarly)
        code = kResultDamagedArchive;
    else if (m_report.hasErrors())
        code = kResultEntryErrors;
    return { code, m_report.text(m_reportLimit) };
}

void Run::reportDamagedHeader()
{
    const ArchiveReader::Stretch skipped = m_reader->damagedStretch();
    if (skipped.length <= 0) {
        m_report.header(m_reader->errorString());
        return;
    }
    // Where the reader picked up again, so the user can tell how much is lost.
    m_report.header(QStringLiteral("%1: %2 バイト目から %3 バイトを読み飛ばしました")
                        .arg(m_reader->errorString(), groupedNumber(skipped.from), groupedNumber(skipped.length)));
}

bool Run::entryTime(struct timespec *time) const
{
    archive_entry *e = m_reader->entry();
    if (!archive_entry_mtime_is_set(e))
        return false;
    time->tv_sec = archive_entry_mtime(e);
    time->tv_nsec = archive_entry_mtime_nsec(e);
    return true;
}

void Run::extractEntry(const EntryPath &path)
{
    archive_entry *e = m_reader->entry();
    const qint64 size = archive_entry_size_is_set(e) ? archive_entry_size(e) : 0;
    const mode_t type = archive_entry_filetype(e);
    const QString shown = path.display.isEmpty() ? QStringLiteral("(名前なし)") : path.display;

    if (m_progress)
        m_progress->beginEntry(escapeControls(shown), size);

    if (archive_entry_hardlink(e)) {
        m_report.entry(shown, size, Outcome::Refused, QStringLiteral("ハードリンクは作成しません"));
        return;
    }
    if (type == AE_IFLNK || archive_entry_symlink(e)) {
        // Tarballs carry links the software needs; one that stays inside the
        // output folder is made at the end. Whatever lies under it is refused
        // like anything under a refused link.
        const char *target = archive_entry_symlink(e);
        if (m_format == ArchiveFormat::Tar && !m_command.noLinks && path.isSafe()
            && !m_paths.isUnderRefusedLink(path.components) && target
            && linkTargetStaysInside(path.components, platform::decodeUtf8OrCp932(QByteArray(target)))) {
            m_paths.addRefusedLink(path.components);
            m_links.add(path.components, shown, platform::decodeUtf8OrCp932(QByteArray(target)));
            return;
        }
        if (path.isSafe())
            m_paths.addRefusedLink(path.components);
        m_report.entry(shown, size, Outcome::Refused, QStringLiteral("シンボリックリンクは作成しません"));
        return;
    }
    if (m_paths.isUnderRefusedLink(path.components)) {
        m_report.entry(shown, size, Outcome::Refused, QStringLiteral("シンボリックリンクの先には解凍しません"));
        return;
    }
    if (type == AE_IFDIR) {
        if (path.components.isEmpty() && path.refusal == u"名前がありません")
            return; // "./" and the like: the output folder itself
        if (!path.isSafe()) {
            m_report.entry(shown, 0, Outcome::Refused, path.refusal);
            return;
        }
        extractFolder(path);
        return;
    }
    if (type != AE_IFREG && type != 0) {
        m_report.entry(shown, size, Outcome::Refused, QStringLiteral("特殊なファイルは作成しません"));
        return;
    }
    if (!path.isSafe()) {
        m_report.entry(shown, size, Outcome::Refused, path.refusal);
        return;
    }
    // Without its password the data cannot be read; trying would only report it as damaged.
    if (archive_entry_is_encrypted(e)) {
        m_report.entry(shown, size, Outcome::Encrypted);
        return;
    }
    extractFile(path, size);
}

void Run::extractFolder(const EntryPath &path)
{
    const QString shown = path.display.endsWith(u'/') ? path.display : path.display + u'/';
    if (const OutputProblem problem = m_tree.makeFolders(path.components)) {
        const Outcome outcome = problem.kind == OutputProblem::System ? Outcome::NotWritten : Outcome::Refused;
        m_report.entry(shown, 0, outcome, problem.describe());
        return;
    }
    struct timespec time { };
    if (entryTime(&time))
        m_paths.addFolderTime(path.components, time);
    m_report.entry(shown, 0, Outcome::FolderMade);
}

void Run::extractFile(const EntryPath &path, qint64 size)
{
    OutputTree::Existing existing;
    if (const OutputProblem problem = m_tree.inspect(path.components, &existing)) {
        const Outcome outcome = problem.kind == OutputProblem::System ? Outcome::NotWritten : Outcome::Refused;
        m_report.entry(path.display, size, outcome, problem.describe());
        return;
    }
    struct timespec time { };
    const bool hasTime = entryTime(&time);
    if (existing.exists && !m_command.replaceAlways) {
        // Keep a file that is not older than the archived one. Whole seconds:
        // DOS times in the archive are coarser than the file system's.
        if (!hasTime || existing.mtime.tv_sec >= time.tv_sec) {
            m_report.entry(path.display, size, Outcome::Kept);
            return;
        }
    }

    const mode_t mode = archive_entry_perm(m_reader->entry());
    OutputTree::PendingFile file;
    if (const OutputProblem problem = m_tree.createFile(path.components, (mode & 0100) != 0, &file)) {
        const Outcome outcome = problem.kind == OutputProblem::System ? Outcome::NotWritten : Outcome::Refused;
        m_report.entry(path.display, size, outcome, problem.describe());
        return;
    }

    const qint64 declared = archive_entry_size_is_set(m_reader->entry()) ? size : -1;
    qint64 written = 0;
    QString detail;
    const DataEnd end = copyData(file, declared, &written, &detail);
    if (end != DataEnd::Written) {
        file.discard();
        m_report.entry(path.display, size, end == DataEnd::NotWritten ? Outcome::NotWritten : Outcome::Damaged, detail);
        m_fatal = end == DataEnd::Fatal;
        return;
    }
    const qint64 finalSize = declared >= 0 ? declared : written;
    if (const OutputProblem problem = file.commit(finalSize, hasTime ? &time : nullptr)) {
        m_report.entry(path.display, size, Outcome::NotWritten, problem.describe());
        return;
    }
    m_report.entry(path.display, size, existing.exists ? Outcome::Replaced : Outcome::Extracted);
}

Run::DataEnd Run::copyData(OutputTree::PendingFile &file, qint64 declared, qint64 *written, QString *detail)
{
    archive *a = m_reader->handle();
    for (;;) {
        const void *block = nullptr;
        size_t length = 0;
        la_int64_t offset = 0;
        const int r = archive_read_data_block(a, &block, &length, &offset);
        if (r == ARCHIVE_EOF)
            return DataEnd::Written;
        // Any warning while reading data means the bytes are not to be trusted
        // (libarchive reports CRC mismatches as warnings).
        if (r != ARCHIVE_OK) {
            *detail = damageReason(m_reader->errorString());
            return r == ARCHIVE_FATAL ? DataEnd::Fatal : DataEnd::Damaged;
        }
        if (declared >= 0) {
            // A body longer than its header says is cut at the declared size.
            if (offset >= declared)
                return DataEnd::Written;
            if (offset + la_int64_t(length) > declared)
                length = size_t(declared - offset);
        }
        if (length > 0 && !file.writeAt(static_cast<const char *>(block), length, offset)) {
            *detail = OutputProblem{ OutputProblem::System, errno }.describe();
            return DataEnd::NotWritten;
        }
        *written = qMax(*written, qint64(offset) + qint64(length));
        if (m_progress)
            m_progress->addBytes(qint64(length), m_reader->position());
    }
}

} // namespace

ExtractionResult runExtraction(
    ArchiveFormat format, const ExtractCommand &command, ProgressState *progress, qsizetype reportLimit)
{
    return Run(format, command, progress, reportLimit).execute();
}

} // namespace pellora::arc
