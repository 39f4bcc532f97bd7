#pragma once

#include <QByteArray>
#include <QStringList>

namespace pellora::arc {

// Told about every change an extraction makes under its output folder, so the
// run can be taken back later. Called on the extraction's thread, one call at
// a time. Components are the entry's path below the output folder.
class RunRecorder {
public:
    virtual ~RunRecorder() = default;
    // A folder that did not exist was made; no components: the output folder itself.
    virtual void folderCreated(const QStringList &components) = 0;
    // The regular file name in the folder dirFd is about to be replaced. The
    // recorder keeps its present version; false when it could not, and the
    // file is then left as it is.
    virtual bool keepReplaced(const QStringList &components, int dirFd, const QByteArray &name) = 0;
    // A file now stands complete under its final name. crc is the contentCrc
    // of its content when crcKnown (written in order, with no hole at the end).
    virtual void fileWritten(
        const QStringList &components, int dirFd, const QByteArray &name, quint32 crc, bool crcKnown)
        = 0;
    // A symbolic link with this target was made where nothing stood (a link
    // never replaces anything).
    virtual void linkCreated(const QStringList &components, const QByteArray &target) = 0;
};

// CRC-32C, continued from crc (0 to start): cheap enough to take over every
// byte an extraction writes (the processor's own instruction where it has one).
quint32 contentCrc(quint32 crc, const char *data, size_t size);

// The recorder the next extraction runs report to (none by default). Set it
// before a run starts and clear it after the run ends.
RunRecorder *runRecorder();
void setRunRecorder(RunRecorder *recorder);

} // namespace pellora::arc
