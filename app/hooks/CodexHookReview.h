// Whether Codex will run the app's hooks. Codex runs a user hook only once the user has trusted it in its
// terminal interface; it keeps that trust in config.toml beside hooks.json, one table per hook:
//   [hooks.state."<hooks.json path>:<event in snake case>:<group index>:<hook index>"]
//   trusted_hash = "sha256:…"
// The hash covers the hook as Codex reads it and is Codex's own business: a hook that is listed with a hash
// counts as reviewed (Codex asks again by itself if the entry changed since).
#pragma once

#include <QString>
#include <QStringList>

namespace nubbo {

struct CodexHookReview {
    enum class Status { notWired, unreviewed, reviewed };
    Status status = Status::notWired;
    QStringList pendingEvents;   // the app's events Codex has no trust for, by event name

    // hooksFile: Codex's hooks.json (its config.toml sits beside it).
    static CodexHookReview check(const QString& hooksFile);
    // One line for the log and the settings window: what the user must do, or that nothing is left to do.
    QString advice() const;
};

} // namespace nubbo
