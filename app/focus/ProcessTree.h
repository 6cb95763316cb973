// Processes and their parents, read from /proc (a root of its own in tests). What /proc says is read with
// bounds: a line or two of each stat file, at most kMaxDepth ancestors.
#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>
#include <vector>

namespace nubbo {

class ProcessTree {
public:
    static constexpr int kMaxDepth = 64;

    explicit ProcessTree(QString procRoot = QStringLiteral("/proc"));

    // Running (a zombie has ended).
    bool alive(qint64 pid) const;
    std::optional<qint64> parentOf(qint64 pid) const;
    // pid itself, its parent, and so on up to (not including) pid 0.
    std::vector<qint64> ancestry(qint64 pid) const;

private:
    struct Stat {
        char state = 0;
        qint64 parent = 0;
    };
    std::optional<Stat> stat(qint64 pid) const;

    QString root_;
};

} // namespace nubbo
