// Running the `nubbo` command line against the app under test, and Claude fixtures as a given session sent them.
#pragma once

#include "BridgeRun.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

namespace nubbo::e2e {

struct CliRun {
    int exitCode = -1;
    QString out;
    QString error;
};

inline CliRun runProgram(const QProcessEnvironment& env, const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    // The event loop turns meanwhile: a waiting bridge's verdict must not stall behind this call.
    spinUntil([&] { return process.state() == QProcess::NotRunning; }, 20000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

// A Claude fixture as the given session sent it, written into the home.
inline QString payloadOf(const QString& home, const char* fixture, const QString& sessionId) {
    QFile in(NUBBO_FIXTURES_DIR "/claude/" + QString(fixture));
    in.open(QIODevice::ReadOnly);
    QJsonObject payload = QJsonDocument::fromJson(in.readAll()).object();
    payload["session_id"] = sessionId;
    const QString path = home + "/" + sessionId + "-" + fixture;
    QFile out(path);
    out.open(QIODevice::WriteOnly);
    out.write(QJsonDocument(payload).toJson());
    return path;
}

} // namespace nubbo::e2e
