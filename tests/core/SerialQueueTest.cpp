#include "core/SerialQueue.h"

#include "core/Log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <pthread.h>
#include <string>
#include <thread>
#include <vector>

using namespace ambrel::core;

TEST(SerialQueueTest, RunsWorkInOrderOnItsOwnNamedThreadAndSurvivesFailures) {
    std::vector<std::string> logged;
    Log::setSink([&](std::string_view, LogLevel, std::string_view message) {
        logged.emplace_back(message);
    });
    std::vector<int> done;
    std::string threadName;
    std::thread::id workerID;
    {
        SerialQueue queue("org.ambrel.Ambrel.save");
        for (int i = 0; i < 100; ++i) {
            queue.async([&done, i] { done.push_back(i); });
        }
        queue.async([] { throw std::runtime_error("disk full"); });
        queue.sync([&] {
            char name[16] = {};
            pthread_getname_np(pthread_self(), name, sizeof name);
            threadName = name;
            workerID = std::this_thread::get_id();
        });
        // Everything submitted before sync() had run by the time it returned.
        EXPECT_EQ(done.size(), 100u);
        for (int i = 0; i < 100; ++i) {
            EXPECT_EQ(done[static_cast<std::size_t>(i)], i);
        }
        queue.async([&done] { done.push_back(100); });
    } // the destructor runs what is still queued
    Log::setSink({});
    EXPECT_EQ(done.size(), 101u);
    EXPECT_EQ(threadName, "save");
    EXPECT_NE(workerID, std::this_thread::get_id());
    EXPECT_EQ(logged, std::vector<std::string>{"org.ambrel.Ambrel.save: disk full"});
}

TEST(SerialQueueTest, LongLabelsAreCutToTheKernelLimit) {
    SerialQueue queue("org.ambrel.Ambrel.permission-probe");
    std::string name;
    queue.sync([&] {
        char buffer[16] = {};
        pthread_getname_np(pthread_self(), buffer, sizeof buffer);
        name = buffer;
    });
    EXPECT_EQ(name, "permission-prob");
}
