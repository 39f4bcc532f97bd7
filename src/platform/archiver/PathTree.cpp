#include "platform/archiver/PathTree.h"

namespace pellora::arc {

PathTree::PathTree()
{
    m_nodes.emplace_back();
}

qint32 PathTree::child(qint32 parent, const QString &name) const
{
    return m_children.value({ parent, name }, -1);
}

qint32 PathTree::add(const QStringList &components)
{
    // Start below the part shared with the last path: comparing names costs
    // far less than looking each one up.
    qsizetype shared = 0;
    const qsizetype limit = qMin(components.size(), m_lastPath.size());
    while (shared < limit && m_nodes[size_t(m_lastPath.at(shared))].name == components.at(shared))
        ++shared;
    m_lastPath.resize(shared);
    qint32 node = shared == 0 ? 0 : m_lastPath.last();
    for (qsizetype i = shared; i < components.size(); ++i) {
        qint32 next = child(node, components.at(i));
        if (next < 0) {
            next = qint32(m_nodes.size());
            Node made;
            made.name = components.at(i);
            made.nextSibling = m_nodes[size_t(node)].firstChild;
            m_nodes.push_back(std::move(made));
            m_nodes[size_t(node)].firstChild = next;
            m_children.insert({ node, components.at(i) }, next);
        }
        m_lastPath.append(next);
        node = next;
    }
    return node;
}

void PathTree::addRefusedLink(const QStringList &components)
{
    if (components.isEmpty())
        return;
    m_nodes[size_t(add(components))].refusedLink = true;
    m_anyLink = true;
}

bool PathTree::isUnderRefusedLink(const QStringList &components) const
{
    if (!m_anyLink)
        return false;
    qint32 node = 0;
    for (qsizetype i = 0; i + 1 < components.size(); ++i) {
        node = child(node, components.at(i));
        if (node < 0)
            return false;
        if (m_nodes[size_t(node)].refusedLink)
            return true;
    }
    return false;
}

void PathTree::addFolderTime(const QStringList &components, const struct timespec &mtime)
{
    if (components.isEmpty())
        return;
    Node &node = m_nodes[size_t(add(components))];
    if (node.hasTime)
        return;
    node.hasTime = true;
    node.mtime = mtime;
}

void PathTree::forEachFolderTime(const std::function<void(const QStringList &, const struct timespec &)> &apply) const
{
    // Depth first without recursion: a chain of folders may be thousands deep.
    QStringList path;
    std::vector<qint32> stack; // the nodes of path
    qint32 node = m_nodes.front().firstChild;
    while (node >= 0) {
        const Node &n = m_nodes[size_t(node)];
        path.append(n.name);
        stack.push_back(node);
        if (n.hasTime)
            apply(path, n.mtime);
        if (n.firstChild >= 0) {
            node = n.firstChild;
            continue;
        }
        // Back up to the nearest folder with a sibling still to visit.
        node = -1;
        while (!stack.empty() && node < 0) {
            node = m_nodes[size_t(stack.back())].nextSibling;
            stack.pop_back();
            path.removeLast();
        }
    }
}

} // namespace pellora::arc
