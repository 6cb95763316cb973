// Time, delayed work and chance, injected so that behaviour over time is tested with a manual clock.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace nubbo {

// Seconds on a monotonic scale with an arbitrary origin: only differences mean anything.
class Clock {
public:
    virtual ~Clock() = default;
    virtual double now() const = 0;
};

using TaskId = std::uint64_t;

// Runs work once after a delay, on the thread that owns the scheduler (the main thread in the app).
class Scheduler {
public:
    virtual ~Scheduler() = default;
    virtual TaskId schedule(double delaySeconds, std::function<void()> work) = 0;
    // A task that already ran or was cancelled is ignored.
    virtual void cancel(TaskId id) = 0;
};

class Random {
public:
    virtual ~Random() = default;
    // Uniform in [0, 1).
    virtual double uniform() = 0;
    // Uniform in [low, high], both included.
    virtual int uniformInt(int low, int high) = 0;
};

// The system's steady clock.
class SystemClock final : public Clock {
public:
    double now() const override;
};

// Qt timers on the calling thread's event loop.
class QtScheduler final : public Scheduler {
public:
    QtScheduler();
    ~QtScheduler() override;
    TaskId schedule(double delaySeconds, std::function<void()> work) override;
    void cancel(TaskId id) override;

private:
    struct State;
    std::unique_ptr<State> state_;
};

class SystemRandom final : public Random {
public:
    double uniform() override;
    int uniformInt(int low, int high) override;
};

} // namespace nubbo
