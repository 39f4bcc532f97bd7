#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <ctime>
#include <functional>
#include <utility>
#include <vector>

namespace pellora::arc {

// What an extraction run remembers about paths under the output folder: the
// link entries it refused and the times of the folder entries. One node per
// folder name, shared by every path through it, so an archive of many links
// or of one deep chain of folders costs memory and time in proportion to its
// entries, not to their number times their depth.
class PathTree final {
public:
    PathTree();

    // A link entry that was not created: whatever lies under it is refused.
    void addRefusedLink(const QStringList &components);
    // True when a proper leading part of components is a refused link.
    bool isUnderRefusedLink(const QStringList &components) const;

    // A folder entry's time; a folder listed twice keeps its first time.
    void addFolderTime(const QStringList &components, const struct timespec &mtime);
    // Every recorded folder time, each folder after its parents.
    void forEachFolderTime(const std::function<void(const QStringList &, const struct timespec &)> &apply) const;

private:
    struct Node {
        QString name;
        qint32 firstChild = -1;
        qint32 nextSibling = -1;
        bool refusedLink = false;
        bool hasTime = false;
        struct timespec mtime { };
    };
    qint32 add(const QStringList &components);
    qint32 child(qint32 parent, const QString &name) const;

    std::vector<Node> m_nodes; // [0] is the output folder itself
    QHash<std::pair<qint32, QString>, qint32> m_children;
    // The nodes of the path added last: archives list a folder's entries
    // together, so the next path mostly shares its leading part.
    QList<qint32> m_lastPath;
    bool m_anyLink = false;
};

} // namespace pellora::arc
