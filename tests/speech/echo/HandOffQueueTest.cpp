#include "speech/echo/HandOffQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using ambrel::HandOffQueue;

TEST(HandOffQueueTest, NeitherSideWaitsAndTheOldestGoWhenFull) {
    HandOffQueue<int> queue(3);
    std::vector<int> taken;
    EXPECT_TRUE(queue.takeAll(taken));
    EXPECT_TRUE(taken.empty());

    for (int i = 1; i <= 5; ++i) {
        queue.push(i);
    }
    EXPECT_EQ(queue.dropped(), 2u);
    EXPECT_TRUE(queue.takeAll(taken));
    EXPECT_EQ(taken, (std::vector<int>{3, 4, 5}));

    {
        // The consumer is taking: pushes return at once and keep their items.
        std::unique_lock consumer(queue.mutex());
        queue.push(6);
        queue.push(7);
        queue.push(8);
        queue.push(9);
    }
    EXPECT_EQ(queue.dropped(), 3u); // the staging list is bounded as well
    taken.clear();
    EXPECT_TRUE(queue.takeAll(taken));
    EXPECT_TRUE(taken.empty()); // still staged: they go with the next push
    queue.push(10);
    EXPECT_TRUE(queue.takeAll(taken));
    EXPECT_EQ(taken, (std::vector<int>{8, 9, 10}));

    {
        // The producer is handing over: the consumer gives up at once and loses nothing.
        queue.push(11);
        std::unique_lock producer(queue.mutex());
        taken.clear();
        EXPECT_FALSE(queue.takeAll(taken));
        EXPECT_TRUE(taken.empty());
    }
    EXPECT_TRUE(queue.takeAll(taken));
    EXPECT_EQ(taken, (std::vector<int>{11}));

    HandOffQueue<int> none(0); // a capacity of nothing would drop everything
    none.push(1);
    taken.clear();
    none.takeAll(taken);
    EXPECT_EQ(taken, (std::vector<int>{1}));
}

TEST(HandOffQueueTest, KeepsOrderBetweenTwoThreads) {
    HandOffQueue<int> queue(100000);
    constexpr int count = 20000;
    std::atomic<bool> done = false;
    std::thread producer([&queue, &done] {
        for (int i = 0; i < count; ++i) {
            queue.push(i);
        }
        done = true;
    });
    std::vector<int> taken;
    while (!done) {
        queue.takeAll(taken);
    }
    producer.join();
    queue.push(count); // what the last pushes staged goes along
    while (!queue.takeAll(taken)) {
    }
    ASSERT_EQ(taken.size(), static_cast<std::size_t>(count + 1));
    for (std::size_t i = 0; i < taken.size(); ++i) {
        ASSERT_EQ(taken[i], static_cast<int>(i));
    }
    EXPECT_EQ(queue.dropped(), 0u);
}
