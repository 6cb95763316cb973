// The app's one log: "nubbo.log" in the logs folder, mirrored to standard error.
#pragma once

#include <QString>

#include <functional>

namespace nubbo {

struct NubboLog {
    // Appends "<seconds since 1970> <message>\n" and writes "NUBBO_DBG <message>" to standard error.
    // Callable from any thread: each call opens, appends in one write and closes, so lines from
    // concurrent callers never mix and a log deleted while the app runs is simply created again.
    // Failures are ignored.
    static void log(const QString& message);

    // Appends bytes to a log file in one write on an O_APPEND descriptor (created 0600 when missing), so
    // lines from any thread stay whole. Failures are ignored. Shared by the app log and the agent log.
    static void appendToFile(const QString& path, const QByteArray& bytes);

    // Replaces the clock (seconds since 1970); an empty function restores the system clock.
    static void setClockForTesting(std::function<double()> clock);
};

} // namespace nubbo
