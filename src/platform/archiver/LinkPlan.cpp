#include "platform/archiver/LinkPlan.h"

#include "platform/archiver/OutputTree.h"
#include "platform/archiver/Report.h"
#include "platform/archiver/RunRecorder.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pellora::arc {

bool linkTargetStaysInside(const QStringList &linkComponents, const QString &target)
{
    if (target.isEmpty() || target.startsWith(u'/') || target.contains(QChar(0)) || linkComponents.isEmpty())
        return false;
    // A drive name or a "\" means the archive was made for another system:
    // such a link would not lead where its maker meant.
    if (target.contains(u'\\') || (target.size() >= 2 && target.at(1) == u':'))
        return false;
    qsizetype depth = linkComponents.size() - 1; // the link's folder
    bool named = false;
    for (const QString &part : target.split(u'/')) {
        if (part.isEmpty() || part == u".")
            continue;
        if (part == u"..") {
            if (named || depth == 0)
                return false;
            --depth;
            continue;
        }
        named = true;
    }
    // A target that names nothing is a folder of the link's own path: the
    // link would make a loop.
    return named;
}

void LinkPlan::add(const QStringList &components, const QString &display, const QString &target)
{
    m_links.push_back({ components, display, target });
}

void LinkPlan::create(OutputTree &tree, Report &report)
{
    for (const Link &link : m_links) {
        const QString detail = QStringLiteral("シンボリックリンク → %1").arg(link.target);
        const QByteArray target = QFile::encodeName(link.target);
        bool occupied = false;
        QByteArray existing;
        const OutputProblem problem = tree.createLink(link.components, target, &occupied, &existing);
        if (!problem && !occupied) {
            report.entry(link.display, 0, Report::Outcome::Extracted, detail);
        } else if (!problem && existing == target) {
            report.entry(link.display, 0, Report::Outcome::Kept, detail);
        } else if (!problem) {
            report.entry(link.display, 0, Report::Outcome::Refused, QStringLiteral("同じ名前のものが既にあります"));
        } else {
            const auto outcome
                = problem.kind == OutputProblem::System ? Report::Outcome::NotWritten : Report::Outcome::Refused;
            report.entry(link.display, 0, outcome, problem.describe());
        }
    }
}

void LinkPlan::reportNotMade(Report &report)
{
    for (const Link &link : m_links)
        report.entry(link.display, 0, Report::Outcome::NotWritten, QStringLiteral("中断したため作成しませんでした"));
}

// Beside the link plan, the one user of it: a link is made relative to the
// output folder's descriptor like every other entry, never following a link
// already on disk and never replacing anything.
OutputProblem OutputTree::createLink(
    const QStringList &components, const QByteArray &target, bool *occupied, QByteArray *existing)
{
    OutputProblem problem;
    if (components.isEmpty())
        return { OutputProblem::System, EINVAL };
    const int dirFd = folderFd(components, components.size() - 1, true, &problem);
    if (dirFd < 0)
        return problem;
    const QByteArray name = QFile::encodeName(components.last());
    if (::symlinkat(target.constData(), dirFd, name.constData()) == 0) {
        if (m_recorder)
            m_recorder->linkCreated(components, target);
        return {};
    }
    const int error = errno;
    if (error != EEXIST)
        return { OutputProblem::System, error };
    struct stat st { };
    if (::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return { OutputProblem::System, errno };
    *occupied = true;
    if (S_ISLNK(st.st_mode)) {
        QByteArray buffer(4096, '\0');
        const ssize_t n = ::readlinkat(dirFd, name.constData(), buffer.data(), size_t(buffer.size()));
        if (n >= 0 && n < buffer.size())
            *existing = buffer.left(n);
    }
    return {};
}

} // namespace pellora::arc
