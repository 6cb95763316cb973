#include "platform/Clock.h"
#include "ManualTime.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace nubbo;

TEST(ManualScheduler, RunsDueWorkInOrderAsTheClockMoves) {
    fakes::ManualClock clock;
    fakes::ManualScheduler scheduler(clock);
    std::vector<std::pair<int, double>> ran;
    scheduler.schedule(2.0, [&] { ran.emplace_back(2, clock.now()); });
    const auto cancelled = scheduler.schedule(1.0, [&] { ran.emplace_back(99, clock.now()); });
    scheduler.schedule(1.5, [&] {
        ran.emplace_back(1, clock.now());
        scheduler.schedule(0.2, [&] { ran.emplace_back(3, clock.now()); });  // work scheduled by work
    });
    scheduler.cancel(cancelled);
    scheduler.advance(1.0);
    EXPECT_TRUE(ran.empty());
    scheduler.advance(1.5);
    ASSERT_EQ(ran.size(), 3u);
    EXPECT_EQ(ran[0], std::make_pair(1, 1001.5));
    EXPECT_EQ(ran[1], std::make_pair(3, 1001.7));
    EXPECT_EQ(ran[2], std::make_pair(2, 1002.0));
    EXPECT_DOUBLE_EQ(clock.now(), 1002.5);
}

TEST(QtScheduler, FiresOnTheEventLoopAndHonoursCancel) {
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    QtScheduler scheduler;
    std::vector<int> ran;
    scheduler.schedule(0.01, [&] { ran.push_back(1); });
    scheduler.cancel(scheduler.schedule(0.0, [&] { ran.push_back(2); }));
    scheduler.schedule(0.0, [&] { ran.push_back(3); });
    QElapsedTimer elapsed;
    elapsed.start();
    while (ran.size() < 2 && elapsed.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(ran, (std::vector<int>{3, 1}));
}

TEST(SeededRandom, StaysInRangeAndRepeatsForASeed) {
    fakes::SeededRandom a(7), b(7);
    for (int i = 0; i < 200; ++i) {
        const int x = a.uniformInt(2, 4);
        EXPECT_EQ(x, b.uniformInt(2, 4));
        EXPECT_GE(x, 2);
        EXPECT_LE(x, 4);
        const double u = a.uniform();
        EXPECT_EQ(u, b.uniform());
        EXPECT_GE(u, 0.0);
        EXPECT_LT(u, 1.0);
    }
}
