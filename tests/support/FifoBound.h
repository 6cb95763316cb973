// Runs code that must not open a FIFO, with a bound: code that does would wait for a writer for ever, and
// a test of it must fail rather than hang.
#pragma once

#include <QFile>
#include <QString>

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <future>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace nubbo::testing {

inline bool makeFifo(const QString& path) { return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0; }

// Runs body on a thread of its own; false when it has not finished within limit. A body stuck opening
// fifo is then let go by opening the other end, so the test goes on to fail; one stuck elsewhere is left.
inline bool finishesWithin(std::chrono::milliseconds limit, const QString& fifo, std::function<void()> body) {
    auto finished = std::make_shared<std::promise<void>>();
    std::future<void> done = finished->get_future();
    std::thread runner([finished, body = std::move(body)] {
        body();
        finished->set_value();
    });
    const bool inTime = done.wait_for(limit) == std::future_status::ready;
    for (int attempt = 0; attempt < 100 && done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready;
         ++attempt) {
        const int writer = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (writer >= 0)
            ::close(writer);
    }
    if (done.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
        runner.join();
    else
        runner.detach();
    return inTime;
}

} // namespace nubbo::testing
