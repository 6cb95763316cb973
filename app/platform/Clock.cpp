#include "platform/Clock.h"

#include <QObject>
#include <QRandomGenerator>
#include <QTimer>

#include <chrono>
#include <unordered_map>

namespace nubbo {

double SystemClock::now() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct QtScheduler::State {
    QObject context;  // timers die with the scheduler
    TaskId nextId = 1;
    std::unordered_map<TaskId, QTimer*> timers;
};

QtScheduler::QtScheduler() : state_(std::make_unique<State>()) {}
QtScheduler::~QtScheduler() = default;

TaskId QtScheduler::schedule(double delaySeconds, std::function<void()> work) {
    const TaskId id = state_->nextId++;
    auto* timer = new QTimer(&state_->context);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, &state_->context, [this, id, timer, work = std::move(work)] {
        state_->timers.erase(id);
        timer->deleteLater();
        work();
    });
    state_->timers.emplace(id, timer);
    timer->start(static_cast<int>(delaySeconds > 0 ? delaySeconds * 1000.0 + 0.5 : 0));
    return id;
}

void QtScheduler::cancel(TaskId id) {
    const auto it = state_->timers.find(id);
    if (it == state_->timers.end()) return;
    it->second->stop();
    it->second->deleteLater();
    state_->timers.erase(it);
}

double SystemRandom::uniform() { return QRandomGenerator::global()->generateDouble(); }

int SystemRandom::uniformInt(int low, int high) {
    return low >= high ? low : static_cast<int>(QRandomGenerator::global()->bounded(low, high + 1));
}

} // namespace nubbo
