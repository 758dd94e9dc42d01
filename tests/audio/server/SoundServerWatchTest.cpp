#include "audio/SoundServerWatch.h"

#include "SoundServer.h"
#include "audio/PulseSnapshotReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

using namespace ambrel;
using ambrel::testing::SoundServer::loadModule;
using ambrel::testing::SoundServer::pactl;

namespace {

bool hasSink(const std::optional<AudioSnapshot>& snapshot, const std::string& name) {
    return snapshot && std::any_of(snapshot->sinks.begin(), snapshot->sinks.end(),
                                   [&](const auto& sink) { return sink.name == name; });
}

} // namespace

TEST(SoundServerWatchTest, FollowsTheServerFromItsEventsAndReadsOncePerBurst) {
    std::atomic<int> reads = 0;
    std::mutex mutex;
    std::condition_variable changed;
    int changes = 0;
    SoundServerWatch watch([&] {
        ++reads;
        return PulseSnapshotReader::shared().read(2.0);
    });
    watch.start([&] {
        const std::lock_guard lock(mutex);
        ++changes;
        changed.notify_all();
    });
    // Waits for the watch's own news (the server's events come when they come).
    const auto waitFor = [&](const std::function<bool()>& done) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10), [&] {
            lock.unlock();
            const bool result = done();
            lock.lock();
            return result;
        });
    };
    ASSERT_TRUE(waitFor([&] { return watch.latest().has_value(); })) << "the first reading";

    // A device that appears on the server is known without anyone asking.
    const std::string module = loadModule(
        {"module-null-sink", "sink_name=watch_probe", "sink_properties=device.description=Watch"});
    EXPECT_TRUE(waitFor([&] { return hasSink(watch.latest(), "watch_probe"); }));
    pactl({"unload-module", module});
    EXPECT_TRUE(waitFor([&] { return !hasSink(watch.latest(), "watch_probe"); }));

    // A burst of changes costs a read or two, not one each.
    watch.settle();
    const int before = reads;
    for (int i = 0; i < 50; ++i) {
        watch.changed();
    }
    watch.settle();
    EXPECT_LE(reads - before, 2);
    EXPECT_GE(reads - before, 1);

    // A lost server leaves nothing stale behind.
    watch.lost();
    EXPECT_FALSE(watch.latest().has_value());
}
