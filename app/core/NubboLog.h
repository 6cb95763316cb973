// The app's one log: "nubbo.log" in the logs folder, mirrored to standard error.
#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

namespace nubbo {

// How large a log grows before it is rotated, and how many files of it are kept: "<log>" and
// "<log>.1" ... "<log>.<files - 1>", oldest last.
struct LogRotation {
    qint64 maxBytes = qint64(5) << 20;
    int files = 5;
};

struct NubboLog {
    // Appends "<seconds since 1970> <message>\n" and writes "NUBBO_DBG <message>" to standard error.
    // Callable from any thread: each call opens, appends in one write and closes, so lines from
    // concurrent callers never mix and a log deleted while the app runs is simply created again. Rotated
    // as appendToFile says, with the default LogRotation. Failures are ignored.
    static void log(const QString& message);

    // Appends bytes to a log file in one write on an O_APPEND descriptor (created 0600 when missing), so
    // lines from any thread or process stay whole. A write that leaves the file at rotation.maxBytes or
    // more rotates it (the oldest file goes); concurrent writers, in this process or another, rotate once
    // between them. Failures are ignored. Shared by the app log and the agent log.
    static void appendToFile(const QString& path, const QByteArray& bytes, const LogRotation& rotation = {});

    // Replaces the clock (seconds since 1970); an empty function restores the system clock.
    static void setClockForTesting(std::function<double()> clock);
};

} // namespace nubbo
