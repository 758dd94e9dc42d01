// Start-up of the desktop app as processes: one instance per user, relaunching.
#include "app/desktop/SingleInstance.h"

#include "IsolatedHome.h"
#include "Subprocess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace ambrel;
using ambrel::testing::IsolatedHome;
using ambrel::testing::Subprocess;
using namespace std::chrono_literals;

namespace {

// The desktop app in processes of its own, offscreen, with a home of its own.
class SingleInstanceTest : public ::testing::Test {
protected:
    // Waits until the app listens on its socket.
    bool waitForSocket() {
        for (int i = 0; i < 200; ++i) {
            if (std::filesystem::exists(SingleInstance::socketPath()) &&
                SingleInstance::handOff(std::nullopt)) {
                return true;
            }
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    IsolatedHome home;
};

} // namespace

TEST_F(SingleInstanceTest, ASecondCopyHandsOverAndALeftoverSocketIsTakenOver) {
    // A socket file nobody listens on, as a crash leaves it.
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const auto path = SingleInstance::socketPath();
        std::copy(path.begin(), path.end(), address.sun_path);
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
    }
    Subprocess first({AMBREL_BINARY});
    ASSERT_TRUE(waitForSocket()) << first.errors();

    const auto started = std::chrono::steady_clock::now();
    Subprocess second({AMBREL_BINARY});
    EXPECT_EQ(second.wait(), 0) << second.errors();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_FALSE(first.poll()); // the first one is still there

    // A relaunch after some other process hands over to the running instance all the same.
    Subprocess next({AMBREL_BINARY, "-relaunchedAfter", std::to_string(-1)});
    EXPECT_EQ(next.wait(), 0);
    first.kill(SIGTERM);
    EXPECT_EQ(first.wait(), 0) << first.errors();
}

TEST_F(SingleInstanceTest, ARelaunchedCopyWaitsForItsPredecessor) {
    Subprocess first({AMBREL_BINARY});
    ASSERT_TRUE(waitForSocket()) << first.errors();
    // The copy must not hand off to the instance it replaces: it waits for it instead.
    Subprocess successor({AMBREL_BINARY, "-relaunchedAfter", std::to_string(first.pid())});
    std::this_thread::sleep_for(1500ms);
    EXPECT_FALSE(successor.poll()) << successor.errors();
    first.kill(SIGTERM);
    EXPECT_EQ(first.wait(), 0);
    // Once it has gone, the successor is the instance.
    bool answered = false;
    for (int i = 0; i < 100 && !answered; ++i) {
        std::this_thread::sleep_for(50ms);
        answered = SingleInstance::handOff(std::nullopt);
    }
    EXPECT_TRUE(answered) << successor.errors();
    EXPECT_FALSE(successor.poll());
    successor.kill(SIGTERM);
    EXPECT_EQ(successor.wait(), 0);
}
