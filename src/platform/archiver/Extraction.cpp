#include "platform/archiver/Extraction.h"

#include "platform/TextCodec.h"
#include "platform/archiver/ArchiveReader.h"
#include "platform/archiver/ArchiverLibrary.h"
#include "platform/archiver/EntryName.h"
#include "platform/archiver/FastPath.h"
#include "platform/archiver/LinkPlan.h"
#include "platform/archiver/NameRule.h"
#include "platform/archiver/OutputTree.h"
#include "platform/archiver/ParallelDecoder.h"
#include "platform/archiver/PathTree.h"
#include "platform/archiver/Progress.h"
#include "platform/archiver/Report.h"
#include "platform/archiver/RunRecorder.h"

#include <QScopeGuard>

#include <archive_entry.h>
#include <atomic>
#include <cerrno>
#include <deque>
#include <unordered_set>

namespace pellora::arc {

namespace {

using Outcome = Report::Outcome;
using Job = ParallelDecoder::Job;

std::atomic<int> g_defaultThreads{ 0 };
std::atomic<bool> g_fastPaths{ true };
std::atomic<qint64> g_decodedAhead{ 0 };
std::atomic<qint64> g_fastPath{ 0 };
std::atomic<qint64> g_handedBack{ 0 };

// What the rules ask of an entry's header, taken while it is at hand: with
// workers the entry is handled well after the reader moved on.
struct EntryInfo {
    qint64 size = 0;
    bool sizeSet = false;
    mode_t type = 0;
    mode_t perm = 0;
    bool hasTime = false;
    struct timespec mtime { };
    bool hardlink = false;
    bool symlink = false;
    QByteArray linkTarget;
    bool encrypted = false;

    static EntryInfo of(archive_entry *e)
    {
        EntryInfo info;
        info.sizeSet = archive_entry_size_is_set(e);
        info.size = info.sizeSet ? archive_entry_size(e) : 0;
        info.type = archive_entry_filetype(e);
        info.perm = archive_entry_perm(e);
        info.hasTime = archive_entry_mtime_is_set(e);
        if (info.hasTime) {
            info.mtime.tv_sec = archive_entry_mtime(e);
            info.mtime.tv_nsec = archive_entry_mtime_nsec(e);
        }
        info.hardlink = archive_entry_hardlink(e) != nullptr;
        const char *target = archive_entry_symlink(e);
        info.symlink = info.type == AE_IFLNK || target;
        if (target)
            info.linkTarget = QByteArray(target);
        info.encrypted = archive_entry_is_encrypted(e);
        return info;
    }

    // A plain file whose data the rules will most likely ask for.
    bool wantsData() const { return !hardlink && !symlink && !encrypted && (type == AE_IFREG || type == 0); }
};

// One header as the run met it, in archive order, waiting for its turn.
struct Planned {
    enum class Kind { Entry, End, Fatal };
    Kind kind = Kind::Entry;
    QString error; // Fatal: the reader's word
    EntryPath path;
    EntryInfo info;
    qint64 position = 0; // where the reader stood in the file after the header
    bool selected = false;
    std::shared_ptr<Job> job; // its data, when decoded ahead
};

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
    enum class DataEnd { Written, Damaged, Fatal, NotWritten, Cancelled };

    // How the run went through the archive; Handover: the parallel part
    // stopped at handoverHeader and the sequential part goes on from there.
    enum class Pass { Finished, EndedEarly, Cancelled, Handover };

    Pass sequentialPass(qint64 fromHeader);
    Pass parallelPass(int threads);
    bool plan(ParallelDecoder &decoder, FastPath *fast, std::deque<Planned> *ahead);
    int threadsFor() const;
    void reportDamagedHeader();
    void extractEntry(const EntryPath &path, const EntryInfo &info);
    void extractFolder(const EntryPath &path, const EntryInfo &info);
    void extractFile(const EntryPath &path, const EntryInfo &info);
    DataEnd copyData(OutputTree::PendingFile &file, qint64 declared, qint64 *written, QString *detail);

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
    bool m_cancelledInEntry = false;
    // With workers: the entry being handled, its data decoded ahead (or not),
    // and whether the sequential part must take over from it.
    ParallelDecoder *m_decoder = nullptr;
    Job *m_job = nullptr;
    qint64 m_jobHeader = 0;
    qint64 m_jobPosition = 0;
    // The entries whose data the run took, which one reader would have read.
    std::unordered_set<qint64> m_dataTaken;
    bool m_plannerMoved = false; // the first reader has read past the start
    bool m_handover = false;
    qint64 m_handoverHeader = 0;
    // Planning: headers read, and the names planned so far (a name met twice
    // is decoded ahead: what the first leaves decides the second).
    qint64 m_headersPlanned = 0;
    std::unordered_set<QString> m_plannedNames;
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

    Pass pass = Pass::Handover;
    m_handoverHeader = 0;
    const int threads = threadsFor();
    if (threads > 1)
        pass = parallelPass(threads);
    if (pass == Pass::Handover) {
        // Sequentially from where the workers left off: a reader of its own
        // stepped to that header (the first reader has planned past it).
        if (m_plannerMoved) {
            m_reader = m_reader->another();
            if (!m_reader) {
                m_report.failure(QStringLiteral("アーカイブを開けません: %1 (%2)")
                                     .arg(m_command.archive, QStringLiteral("不明なエラー")));
                return { kResultCannotOpen, m_report.text(m_reportLimit) };
            }
        }
        pass = sequentialPass(m_handoverHeader);
    }
    const bool cancelled = pass == Pass::Cancelled;
    const bool endedEarly = pass == Pass::EndedEarly;

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

Run::Pass Run::sequentialPass(qint64 fromHeader)
{
    for (qint64 i = 0; i < fromHeader; ++i) {
        // Headers the parallel part went through already; read as it read them.
        if (m_reader->next() != ArchiveReader::Next::Entry) {
            m_report.header(m_reader->errorString());
            return Pass::EndedEarly;
        }
        // A CAB reader that has read data decodes what it steps over, and
        // meets damage there, where a reader that has not does not: the data
        // taken is read again so this reader goes on as one reader would.
        if (m_format == ArchiveFormat::Cab && m_dataTaken.count(i))
            m_reader->readData(-1, [](const char *, size_t, qint64) { return true; });
    }
    for (;;) {
        const ArchiveReader::Next next = m_reader->next();
        if (next == ArchiveReader::Next::End)
            return Pass::Finished;
        if (next == ArchiveReader::Next::Fatal) {
            m_report.header(m_reader->errorString());
            return Pass::EndedEarly;
        }
        if (next == ArchiveReader::Next::Damaged) {
            reportDamagedHeader();
            if (!m_command.skipDamaged)
                return Pass::EndedEarly;
            continue;
        }
        // The filter names entries as the listing showed them: stripped.
        const EntryPath path = m_names.path(*m_reader);
        if (!filterSelects(m_command, path.isSafe() ? path.display : m_reader->entryName()))
            continue;
        extractEntry(path, EntryInfo::of(m_reader->entry()));
        if (m_cancelledInEntry)
            return Pass::Cancelled;
        if (m_fatal)
            return Pass::EndedEarly;
        if (m_progress && m_progress->cancelRequested())
            return Pass::Cancelled;
    }
}

int Run::threadsFor() const
{
    // Workers step over each other's entries; that is cheap only where a
    // header says where the next one is and nothing is solid. Carrying on
    // past damaged headers needs the one reader that found them.
    if (m_command.skipDamaged || m_command.threads == 1)
        return 1;
    if (m_format == ArchiveFormat::Tar || (m_format == ArchiveFormat::Zip && m_reader->isStreamingZip()))
        return 1;
    // A CAB's folders are decoded whole, so only through its fast path.
    if (m_format == ArchiveFormat::Cab && !m_command.fastPaths)
        return 1;
    return m_command.threads > 1 ? qMin(m_command.threads, 4) : usableCores(4);
}

Run::Pass Run::parallelPass(int threads)
{
    std::unique_ptr<FastPath> fast;
    if (m_command.fastPaths && m_format == ArchiveFormat::Zip)
        fast = openZipFastPath(m_reader->descriptor(), m_reader->fileSize());
    if (m_format == ArchiveFormat::Cab) {
        fast = openCabFastPath(m_reader->descriptor(), m_reader->fileSize());
        if (!fast)
            return Pass::Handover;
    }
    ParallelDecoder decoder(*m_reader, fast.get(), threads, m_progress);
    m_decoder = &decoder;
    const auto done = qScopeGuard([this] { m_decoder = nullptr; });
    // Far enough ahead that the other workers go on while one decodes a
    // large entry the run waits for; not so far that the temporary files
    // (one descriptor each) and the data not yet in place pile up.
    const size_t maxEntries = size_t(threads) * 32;
    const qint64 maxBytes = qint64(threads) * (64 << 20);
    std::deque<Planned> ahead;
    qint64 bytesAhead = 0; // declared sizes of the entries planned behind the first
    qint64 header = 0;
    for (;; ++header) {
        while (ahead.size() < maxEntries && (ahead.size() < 2 || bytesAhead < maxBytes)
            && (ahead.empty() || ahead.back().kind == Planned::Kind::Entry)) {
            if (!plan(decoder, fast.get(), &ahead))
                break;
            if (ahead.size() > 1 && ahead.back().job)
                bytesAhead += ahead.back().info.size;
        }
        if (ahead.empty())
            return Pass::Finished;
        Planned entry = std::move(ahead.front());
        ahead.pop_front();
        if (!ahead.empty() && ahead.front().job)
            bytesAhead -= ahead.front().info.size;
        if (entry.kind == Planned::Kind::End)
            return Pass::Finished;
        if (entry.kind == Planned::Kind::Fatal) {
            m_report.header(entry.error);
            return Pass::EndedEarly;
        }
        if (m_format == ArchiveFormat::Cab) {
            // libarchive decodes a CAB folder even to step over its entries,
            // and would meet any damage there: every entry is checked, and
            // the first one not vouched for goes back to the one reader.
            const Job::State state = entry.job ? decoder.wait(*entry.job) : Job::State::Doubt;
            if (state == Job::State::Cancelled)
                return Pass::Cancelled;
            if (state != Job::State::Ready) {
                ++g_handedBack;
                m_handoverHeader = header;
                return Pass::Handover;
            }
        }
        if (!entry.selected)
            continue;
        m_job = entry.job.get();
        m_jobHeader = header;
        m_jobPosition = entry.position;
        m_handover = false;
        extractEntry(entry.path, entry.info);
        m_job = nullptr;
        if (m_cancelledInEntry)
            return Pass::Cancelled;
        if (m_handover) {
            ++g_handedBack;
            m_handoverHeader = header;
            return Pass::Handover;
        }
        if (m_progress && m_progress->cancelRequested())
            return Pass::Cancelled;
    }
}

bool Run::plan(ParallelDecoder &decoder, FastPath *fast, std::deque<Planned> *ahead)
{
    Planned planned;
    m_plannerMoved = true;
    switch (m_reader->next()) {
    case ArchiveReader::Next::End:
        planned.kind = Planned::Kind::End;
        ahead->push_back(std::move(planned));
        return false;
    case ArchiveReader::Next::Fatal:
    case ArchiveReader::Next::Damaged: // ends the run: damaged headers are not skipped here
        planned.kind = Planned::Kind::Fatal;
        planned.error = m_reader->errorString();
        ahead->push_back(std::move(planned));
        return false;
    case ArchiveReader::Next::Entry:
        break;
    }
    const qint64 header = m_headersPlanned++;
    planned.path = m_names.path(*m_reader);
    planned.selected = filterSelects(m_command, planned.path.isSafe() ? planned.path.display : m_reader->entryName());
    planned.info = EntryInfo::of(m_reader->entry());
    planned.position = m_reader->position();
    const QByteArray rawName = m_reader->rawName();
    const qint64 declared = planned.info.sizeSet ? planned.info.size : -1;
    // The fast path lines up with every entry libarchive lists, wanted or not.
    const qint64 record = fast ? fast->claim(rawName, declared) : -1;
    const bool checkEvery = m_format == ArchiveFormat::Cab;
    bool wanted = planned.selected && planned.info.wantsData() && planned.path.isSafe();
    if (wanted && !m_plannedNames.insert(planned.path.components.join(u'/')).second) {
        // A name met before: what the first leaves decides the second.
    } else if (wanted && !m_command.replaceAlways && planned.info.hasTime) {
        // A file that stays as it is needs no data; should the run see it
        // otherwise when it gets there, it decodes the entry itself.
        const OutputTree::Existing existing = m_tree.peek(planned.path.components);
        wanted = !existing.exists || existing.mtime.tv_sec < planned.info.mtime.tv_sec;
    }
    if (!wanted && !(checkEvery && record >= 0)) {
        ahead->push_back(std::move(planned));
        return true;
    }
    auto job = std::make_shared<Job>();
    // Without a file of its own the entry is only checked; when the staged
    // file cannot be made, the run meets the same trouble and reports it.
    if (wanted && m_tree.createStaged((planned.info.perm & 0100) != 0, &job->staged) && !checkEvery) {
        ahead->push_back(std::move(planned));
        return true;
    }
    job->fastOnly = checkEvery;
    job->header = header;
    job->rawName = rawName;
    job->declared = declared;
    job->record = record;
    planned.job = job;
    decoder.submit(job);
    ahead->push_back(std::move(planned));
    return true;
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

void Run::extractEntry(const EntryPath &path, const EntryInfo &info)
{
    const qint64 size = info.size;
    const QString shown = path.display.isEmpty() ? QStringLiteral("(名前なし)") : path.display;

    if (m_progress)
        m_progress->beginEntry(escapeControls(shown), size);

    if (info.hardlink) {
        m_report.entry(shown, size, Outcome::Refused, QStringLiteral("ハードリンクは作成しません"));
        return;
    }
    if (info.symlink) {
        // Tarballs carry links the software needs; one that stays inside the
        // output folder is made at the end. Whatever lies under it is refused
        // like anything under a refused link.
        const QString target = info.linkTarget.isNull() ? QString() : platform::decodeUtf8OrCp932(info.linkTarget);
        if (m_format == ArchiveFormat::Tar && !m_command.noLinks && path.isSafe()
            && !m_paths.isUnderRefusedLink(path.components) && !info.linkTarget.isNull()
            && linkTargetStaysInside(path.components, target)) {
            m_paths.addRefusedLink(path.components);
            m_links.add(path.components, shown, target);
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
    if (info.type == AE_IFDIR) {
        if (path.components.isEmpty() && path.refusal == u"名前がありません")
            return; // "./" and the like: the output folder itself
        if (!path.isSafe()) {
            m_report.entry(shown, 0, Outcome::Refused, path.refusal);
            return;
        }
        extractFolder(path, info);
        return;
    }
    if (info.type != AE_IFREG && info.type != 0) {
        m_report.entry(shown, size, Outcome::Refused, QStringLiteral("特殊なファイルは作成しません"));
        return;
    }
    if (!path.isSafe()) {
        m_report.entry(shown, size, Outcome::Refused, path.refusal);
        return;
    }
    // Without its password the data cannot be read; trying would only report it as damaged.
    if (info.encrypted) {
        m_report.entry(shown, size, Outcome::Encrypted);
        return;
    }
    extractFile(path, info);
}

void Run::extractFolder(const EntryPath &path, const EntryInfo &info)
{
    const QString shown = path.display.endsWith(u'/') ? path.display : path.display + u'/';
    if (const OutputProblem problem = m_tree.makeFolders(path.components)) {
        const Outcome outcome = problem.kind == OutputProblem::System ? Outcome::NotWritten : Outcome::Refused;
        m_report.entry(shown, 0, outcome, problem.describe());
        return;
    }
    if (info.hasTime)
        m_paths.addFolderTime(path.components, info.mtime);
    m_report.entry(shown, 0, Outcome::FolderMade);
}

void Run::extractFile(const EntryPath &path, const EntryInfo &info)
{
    const qint64 size = info.size;
    OutputTree::Existing existing;
    if (const OutputProblem problem = m_tree.inspect(path.components, &existing)) {
        const Outcome outcome = problem.kind == OutputProblem::System ? Outcome::NotWritten : Outcome::Refused;
        m_report.entry(path.display, size, outcome, problem.describe());
        return;
    }
    if (existing.exists && !m_command.replaceAlways) {
        // Keep a file that is not older than the archived one. Whole seconds:
        // DOS times in the archive are coarser than the file system's.
        if (!info.hasTime || existing.mtime.tv_sec >= info.mtime.tv_sec) {
            m_report.entry(path.display, size, Outcome::Kept);
            return;
        }
    }

    const qint64 declared = info.sizeSet ? size : -1;
    qint64 written = 0;
    OutputTree::PendingFile file;
    OutputProblem problem;
    if (m_decoder) {
        // Decoded ahead: only a file a worker vouches for is taken; anything
        // else (not decoded, damaged, in doubt) goes back to the one reader.
        const Job::State state = m_job ? m_decoder->wait(*m_job) : Job::State::Doubt;
        if (state == Job::State::Cancelled)
            m_cancelledInEntry = true;
        else if (state != Job::State::Ready || !m_job->staged.isOpen())
            m_handover = true;
        if (m_handover || m_cancelledInEntry)
            return;
        written = m_job->written.load();
        ++g_decodedAhead;
        m_dataTaken.insert(m_jobHeader);
        if (m_job->viaFastPath)
            ++g_fastPath;
        if (m_progress)
            m_progress->entryDone(written, m_jobPosition);
        problem = m_tree.adoptFile(path.components, m_job->staged, &file);
    } else {
        problem = m_tree.createFile(path.components, (info.perm & 0100) != 0, &file);
    }
    if (problem) {
        const Outcome outcome = problem.kind == OutputProblem::System ? Outcome::NotWritten : Outcome::Refused;
        m_report.entry(path.display, size, outcome, problem.describe());
        return;
    }

    if (!m_decoder) {
        QString detail;
        const DataEnd end = copyData(file, declared, &written, &detail);
        if (end == DataEnd::Cancelled) {
            file.discard();
            m_cancelledInEntry = true;
            return;
        }
        if (end != DataEnd::Written) {
            file.discard();
            m_report.entry(
                path.display, size, end == DataEnd::NotWritten ? Outcome::NotWritten : Outcome::Damaged, detail);
            m_fatal = end == DataEnd::Fatal;
            return;
        }
    }
    const qint64 finalSize = declared >= 0 ? declared : written;
    if (const OutputProblem committed = file.commit(finalSize, info.hasTime ? &info.mtime : nullptr)) {
        m_report.entry(path.display, size, Outcome::NotWritten, committed.describe());
        return;
    }
    m_report.entry(path.display, size, existing.exists ? Outcome::Replaced : Outcome::Extracted);
}

Run::DataEnd Run::copyData(OutputTree::PendingFile &file, qint64 declared, qint64 *written, QString *detail)
{
    const auto write = [&](const char *data, size_t length, qint64 offset) {
        if (length > 0 && !file.writeAt(data, length, offset))
            return false;
        *written = qMax(*written, offset + qint64(length));
        if (m_progress)
            m_progress->addBytes(qint64(length), m_reader->position());
        return true;
    };
    // A large entry is not waited out: the user asked to stop now.
    const auto stop = [this] { return m_progress && m_progress->cancelRequested(); };
    switch (m_reader->readData(declared, write, stop)) {
    case ArchiveReader::DataEnd::Done:
        return DataEnd::Written;
    case ArchiveReader::DataEnd::Damaged:
        *detail = damageReason(m_reader->errorString());
        return DataEnd::Damaged;
    case ArchiveReader::DataEnd::Fatal:
        *detail = damageReason(m_reader->errorString());
        return DataEnd::Fatal;
    case ArchiveReader::DataEnd::WriteFailed:
        *detail = OutputProblem{ OutputProblem::System, errno }.describe();
        return DataEnd::NotWritten;
    case ArchiveReader::DataEnd::Stopped:
        break;
    }
    return DataEnd::Cancelled;
}

} // namespace

DecodingCounts decodingCounts()
{
    return { g_decodedAhead.load(), g_fastPath.load(), g_handedBack.load() };
}

void setDecodingDefaults(int threads, bool fastPaths)
{
    g_defaultThreads.store(qMax(threads, 0));
    g_fastPaths.store(fastPaths);
}

ExtractionResult runExtraction(
    ArchiveFormat format, const ExtractCommand &command, ProgressState *progress, qsizetype reportLimit)
{
    ExtractCommand decided = command;
    if (decided.threads == 0)
        decided.threads = g_defaultThreads.load();
    decided.fastPaths = decided.fastPaths && g_fastPaths.load();
    return Run(format, decided, progress, reportLimit).execute();
}

} // namespace pellora::arc
