#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace pellora::arc {

class OutputTree;
class Report;

// True when a symbolic link at linkComponents (below the output folder)
// pointing at target stays inside the output folder. Only "..", at the start
// of the target, may climb: those steps pass through the link's own folders,
// which the extraction made as real folders, so reading them as text gives
// where they really lead. A ".." after a name could climb out of whatever
// that name is a link to, and is refused like an absolute target.
bool linkTargetStaysInside(const QStringList &linkComponents, const QString &target);

// The symbolic links of a run that are safe to make, made only after every
// other entry: nothing the archive holds is ever written through one of them.
class LinkPlan final {
public:
    void add(const QStringList &components, const QString &display, const QString &target);
    bool isEmpty() const { return m_links.empty(); }
    // Makes each link where nothing stands yet; a link already there with the
    // same target is kept, anything else at its name is left as it is.
    void create(OutputTree &tree, Report &report);
    // The run stopped first: none of the links was made.
    void reportNotMade(Report &report);

private:
    struct Link {
        QStringList components;
        QString display;
        QString target;
    };
    std::vector<Link> m_links;
};

} // namespace pellora::arc
