#include "core/EventLoop.h"
#include "core/VirtualScheduler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace ambrel::core;

TEST(VirtualScheduler, RunsTimersInOrderAtTheirOwnTimes) {
    VirtualScheduler scheduler(1000);
    std::vector<std::pair<std::string, double>> fired;
    auto note = [&](std::string name) {
        fired.emplace_back(std::move(name), scheduler.monotonic());
    };
    auto late = scheduler.after(3, [&] { note("late"); });
    auto early = scheduler.after(1, [&] { note("early"); });
    auto tie = scheduler.after(1, [&] { note("tie"); });
    auto repeating = scheduler.every(2, [&] { note("tick"); });
    auto cancelled = scheduler.after(2, [&] { note("cancelled"); });
    cancelled->cancel();
    {
        auto dropped = scheduler.after(0.5, [&] { note("dropped"); });
    }
    scheduler.advance(5);
    EXPECT_EQ(fired, (std::vector<std::pair<std::string, double>>{
                         {"early", 1}, {"tie", 1}, {"tick", 2}, {"late", 3}, {"tick", 4}}));
    EXPECT_EQ(scheduler.monotonic(), 5);
    EXPECT_EQ(scheduler.now(), 1005);

    // A timer may cancel itself, and work it posts runs before the next timer.
    fired.clear();
    Scheduler::TimerHandle self;
    self = scheduler.every(1, [&] {
        note("self");
        self.reset();
        scheduler.post([&] { note("posted"); });
    });
    repeating.reset();
    scheduler.advance(3);
    EXPECT_EQ(fired, (std::vector<std::pair<std::string, double>>{{"self", 6}, {"posted", 6}}));
}

TEST(VirtualScheduler, PostedWorkFromOtherThreadsWaitsForTheOwner) {
    VirtualScheduler scheduler;
    int runs = 0;
    std::thread([&] { scheduler.post([&] { ++runs; }); }).join();
    EXPECT_EQ(runs, 0);
    scheduler.runPending();
    EXPECT_EQ(runs, 1);
}

TEST(EventLoop, RunsPostedWorkAndTimersUntilDone) {
    EventLoop loop;
    std::atomic<int> posted{0};
    int ticks = 0;
    auto timer = loop.every(0.01, [&] { ++ticks; });
    std::thread worker([&] {
        for (int i = 0; i < 5; ++i) {
            loop.post([&] { ++posted; });
        }
    });
    EXPECT_TRUE(loop.runUntil([&] { return posted == 5 && ticks >= 3; }, 5));
    worker.join();
    auto once = loop.after(0, [&] { loop.quit(); });
    loop.run(); // returns through quit()
    EXPECT_FALSE(loop.runUntil([] { return false; }, 0.02));
}
