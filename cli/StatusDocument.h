// The app's status document (what Status() returns) read into values the command line prints from.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>
#include <vector>

namespace nubbo::cli {

struct WaitingRequest {
    QString id;
    QString command;
    bool risky = false;
};

struct SessionStatus {
    QString id;
    QString agent;
    QString host;  // "" when the agent runs on this machine
    QString cwd;
    QString state;
    QString activity;
    QDateTime updatedAt;
    std::optional<WaitingRequest> request;
    QJsonObject json;  // the object as the app sent it, for `watch --json`
};

struct StatusDocument {
    QString approvalMode;
    bool paused = false;
    std::vector<SessionStatus> sessions;  // most recently updated first
};

// nullopt when the text is not a status document of version 1.
std::optional<StatusDocument> parseStatus(const QByteArray& json);

} // namespace nubbo::cli
