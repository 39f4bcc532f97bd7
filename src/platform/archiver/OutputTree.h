#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <ctime>
#include <set>
#include <utility>

namespace pellora::arc {

class RunRecorder;

// Why a write under the output folder did not happen.
struct OutputProblem {
    enum Kind {
        None,
        SymlinkOnPath, // a symbolic link stands where a folder of the entry's path should be
        SymlinkAtName, // a symbolic link stands at the entry's own name
        NotAFolder, // a file stands where a folder of the entry's path should be
        FolderAtName, // a folder stands at the entry's own name
        SpecialAtName, // a device, FIFO or socket stands at the entry's own name
        NotKept, // the file it would replace could not be kept in the history
        System, // errno says why
    };
    Kind kind = None;
    int error = 0;

    explicit operator bool() const { return kind != None; }
    QString describe() const; // UI language
};

// The output folder, held open as a directory descriptor. Every entry is
// created relative to it with *at() calls and O_NOFOLLOW on each folder of
// its path, so no name and no link already on disk can lead outside it, and
// the process's current directory never matters.
class OutputTree final {
public:
    OutputTree() = default;
    ~OutputTree();
    OutputTree(const OutputTree &) = delete;
    OutputTree &operator=(const OutputTree &) = delete;

    // Creates the folder (with missing parents) and opens it.
    OutputProblem open(const QString &folder);

    // Reports folders made and files written or replaced from now on (none: no reports).
    void setRecorder(RunRecorder *recorder) { m_recorder = recorder; }

    // Makes the folders of components (all of them), refusing links.
    OutputProblem makeFolders(const QStringList &components);

    // What stands at an entry's name now.
    struct Existing {
        bool exists = false;
        struct timespec mtime { };
    };
    OutputProblem inspect(const QStringList &components, Existing *existing);

    // A file being written under a temporary name beside its final name.
    class PendingFile final {
    public:
        PendingFile() = default;
        ~PendingFile();
        PendingFile(PendingFile &&other) noexcept;
        PendingFile &operator=(PendingFile &&other) noexcept;

        bool isOpen() const { return m_fd >= 0; }
        // Writes at an offset; false with errno set on failure.
        bool writeAt(const char *data, size_t size, qint64 offset);
        // Sets the size (for entries ending in a hole), times, and renames the
        // file over its final name. The temporary file is gone either way.
        OutputProblem commit(qint64 size, const struct timespec *mtime);
        // Removes the temporary file.
        void discard();
        // Empties the file to be written again from its start; false with errno set.
        bool restart();

    private:
        friend class OutputTree;
        int m_dirFd = -1; // not owned
        int m_fd = -1;
        QByteArray m_tempName;
        QByteArray m_finalName;
        RunRecorder *m_recorder = nullptr;
        QStringList m_components;
        quint32 m_crc = 0;
        qint64 m_crcEnd = 0; // bytes the CRC covers; -1 once a write came out of order
    };

    // Opens a new temporary file in the entry's folder (created as needed).
    OutputProblem createFile(const QStringList &components, bool executable, PendingFile *file);

    // Ahead of the entries before it, an entry's data is written into a
    // temporary file in the output folder itself; when its turn comes,
    // adoptFile moves it beside its final name, making the folders and
    // meeting every check createFile does. Nothing outside the output
    // folder's own temporary files changes until then.
    OutputProblem createStaged(bool executable, PendingFile *staged);
    OutputProblem adoptFile(const QStringList &components, PendingFile &staged, PendingFile *file);
    // What stands at an entry's name now, without making any folder: a
    // missing folder or anything in the way reads as nothing there.
    Existing peek(const QStringList &components);

    // Makes a symbolic link (its folders as needed). When something stands
    // at its name already, nothing is made: occupied is set, and existing
    // holds that thing's target when it is a link.
    OutputProblem createLink(
        const QStringList &components, const QByteArray &target, bool *occupied, QByteArray *existing);

    // Restores a folder's time after its contents were written.
    void setFolderTime(const QStringList &components, const struct timespec &mtime);

private:
    // Descriptor of the folder holding components[0 .. count-1], creating
    // missing folders when create is set; cached for runs of entries in one folder.
    int folderFd(const QStringList &components, qsizetype count, bool create, OutputProblem *problem);
    // Removes abandoned temporary files from a folder, once per run.
    void sweepOnce(int dirFd);

    int m_rootFd = -1;
    RunRecorder *m_recorder = nullptr;
    QStringList m_cachedPath;
    int m_cachedFd = -1;
    std::set<std::pair<quint64, quint64>> m_swept; // device and inode of each folder swept
};

} // namespace pellora::arc
