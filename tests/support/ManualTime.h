// A clock that moves only when told, a scheduler that runs due work as it moves, and seeded chance.
#pragma once

#include "platform/Clock.h"

#include <map>
#include <random>
#include <utility>

namespace nubbo::fakes {

class ManualClock final : public Clock {
public:
    double now() const override { return now_; }
    void set(double seconds) { now_ = seconds; }

private:
    double now_ = 1000.0;
};

class ManualScheduler final : public Scheduler {
public:
    explicit ManualScheduler(ManualClock& clock) : clock_(clock) {}

    TaskId schedule(double delaySeconds, std::function<void()> work) override {
        const TaskId id = nextId_++;
        tasks_.emplace(std::make_pair(clock_.now() + std::max(0.0, delaySeconds), id), std::move(work));
        return id;
    }
    void cancel(TaskId id) override {
        for (auto it = tasks_.begin(); it != tasks_.end(); ++it)
            if (it->first.second == id) {
                tasks_.erase(it);
                return;
            }
    }
    // Moves the clock forward, running each task at its due time, in due order (ties in scheduling order).
    void advance(double seconds) {
        const double until = clock_.now() + seconds;
        while (!tasks_.empty() && tasks_.begin()->first.first <= until) {
            auto node = tasks_.extract(tasks_.begin());
            clock_.set(std::max(clock_.now(), node.key().first));
            node.mapped()();
        }
        clock_.set(until);
    }
    std::size_t pending() const { return tasks_.size(); }

private:
    ManualClock& clock_;
    TaskId nextId_ = 1;
    std::map<std::pair<double, TaskId>, std::function<void()>> tasks_;
};

class SeededRandom final : public Random {
public:
    explicit SeededRandom(std::uint32_t seed) : engine_(seed) {}
    double uniform() override { return std::uniform_real_distribution<double>(0.0, 1.0)(engine_); }
    int uniformInt(int low, int high) override {
        return low >= high ? low : std::uniform_int_distribution<int>(low, high)(engine_);
    }

private:
    std::mt19937 engine_;
};

} // namespace nubbo::fakes
