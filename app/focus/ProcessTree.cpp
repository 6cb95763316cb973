#include "focus/ProcessTree.h"

#include <QFile>

namespace nubbo {

ProcessTree::ProcessTree(QString procRoot) : root_(std::move(procRoot)) {}

std::optional<ProcessTree::Stat> ProcessTree::stat(qint64 pid) const {
    if (pid <= 0)
        return std::nullopt;
    QFile file(root_ + QLatin1Char('/') + QString::number(pid) + QStringLiteral("/stat"));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray line = file.read(4096);
    // "pid (comm) state ppid ...": the command name may hold spaces and parentheses, so read after the last ')'.
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0)
        return std::nullopt;
    const QList<QByteArray> fields = line.mid(close + 1).simplified().split(' ');
    if (fields.size() < 2 || fields[0].size() != 1)
        return std::nullopt;
    bool ok = false;
    const qint64 parent = fields[1].toLongLong(&ok);
    if (!ok || parent < 0)
        return std::nullopt;
    return Stat{fields[0][0], parent};
}

bool ProcessTree::alive(qint64 pid) const {
    const auto s = stat(pid);
    return s && s->state != 'Z' && s->state != 'X';
}

std::optional<qint64> ProcessTree::parentOf(qint64 pid) const {
    const auto s = stat(pid);
    if (!s)
        return std::nullopt;
    return s->parent;
}

std::vector<qint64> ProcessTree::ancestry(qint64 pid) const {
    std::vector<qint64> chain;
    while (pid > 0 && chain.size() < static_cast<std::size_t>(kMaxDepth)) {
        chain.push_back(pid);
        const auto parent = parentOf(pid);
        if (!parent || *parent == pid)
            break;
        pid = *parent;
    }
    return chain;
}

} // namespace nubbo
