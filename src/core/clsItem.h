#pragma once

#include "core/ItemOptions.h"

#include <QString>
#include <QStringList>
#include <memory>

namespace pellora::core {

// The text that stands for an argument not given to Melt.
inline const QString kMissing = QStringLiteral("Missing");

// One piece of software's entry (name, file pattern, target folder, related
// file) joined with one concrete archive (its path and kind).
//
// Melt, DisposeArchive, OpenRelation and OpenFiler are declared here but
// defined in src/extract (Melt.cpp, AfterExtraction.cpp): they open windows,
// which this layer cannot. A program linking only the core library must not
// call them.
class clsItem final {
public:
    // Takes the archive path from the program's command line and finds its kind.
    clsItem();
    // The same with the command-line arguments given (after the program's name).
    explicit clsItem(const QStringList &arguments);

    QString ArchiveType() const { return m_archiveType; }
    QString Path() const { return m_path; }
    // Stores the text unchanged and finds the kind again.
    void setPath(const QString &path);
    QString Title() const { return m_title; }
    void setTitle(const QString &title) { m_title = title; }
    QString Pattern() const { return m_pattern; }
    void setPattern(const QString &pattern) { m_pattern = pattern; }
    QString Output() const { return m_output; }
    // An absolute folder given without its trailing separator gets one: the
    // archive's and the related file's names are appended to it directly.
    void setOutput(const QString &output);
    QString Relation() const { return m_relation; }
    void setRelation(const QString &relation) { m_relation = relation; }
    // How the item's archives name their entries (encoding, top folder).
    const ItemOptions &Options() const { return m_options; }
    void setOptions(const ItemOptions &options) { m_options = options; }

    // The file name of Path, extension included (all of Path without a separator).
    QString Name() const;
    // Path up to and including its last separator (empty without one).
    QString Folder() const;

    // Extracts the archive; file is "*.*" or one entry's path, output a folder
    // or kMissing for Output, command the switches or kMissing for the usual
    // ones. Defined by the extraction layer.
    void Melt(const QString &file, const QString &output, const QString &command);
    // The whole archive into Output for a run nobody watches: no window, no
    // message box, nothing opened. Returns the library's code, or -1 when the
    // run was refused before the library was called, and the report (or the
    // reason) with LF line ends. A complete run disposes of the archive as
    // configured; any other leaves it where it is.
    int MeltUnattended(QString *report);

private:
    // After a complete extraction into Output; defined by the extraction layer.
    void DisposeArchive();
    void OpenRelation();
    void OpenFiler();

    void detectKind();

    QString m_archiveType;
    QString m_path;
    QString m_title;
    QString m_pattern;
    QString m_output;
    QString m_relation;
    ItemOptions m_options;
};

// The record start-up makes from the command line; the windows of one run
// act on it. Null when no run holds one.
extern std::shared_ptr<clsItem> CurrentItem;

// Program-wide flags, all false at start.
extern bool gblnAddMode; // the item editor adds a row instead of rewriting the selected one
extern bool gblnAddFromArchive; // the item editor works for the archive in CurrentItem
extern bool gblnNoRemoveBox; // delete an item without asking
// Set when an extraction of this run failed, was cancelled or could not start:
// the program's exit status says so.
extern bool gblnExtractionFailed;

} // namespace pellora::core
