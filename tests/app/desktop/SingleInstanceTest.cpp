// Start-up of the desktop app as processes: one instance per user, relaunching.
#include "app/desktop/SingleInstance.h"

#include "IsolatedHome.h"
#include "Subprocess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
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
            if (std::filesystem::exists(*SingleInstance::socketPath()) &&
                SingleInstance::handOff(std::nullopt)) {
                return true;
            }
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    IsolatedHome home;
};

// A client of the instance's socket that does its own reads and writes, without blocking.
class RawClient {
public:
    explicit RawClient(const std::string& path) : fd_(::socket(AF_UNIX, SOCK_STREAM, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::copy(path.begin(), path.end(), address.sun_path);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::fcntl(fd_, F_SETFL, O_NONBLOCK);
    }
    ~RawClient() { ::close(fd_); }

    bool connected() const { return connected_; }
    bool send(std::string_view bytes) {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    // Takes what has arrived; true once the other end has closed.
    bool closed() {
        char bytes[4096];
        for (;;) {
            const auto count = ::read(fd_, bytes, sizeof bytes);
            if (count > 0) {
                received.append(bytes, static_cast<std::size_t>(count));
            } else {
                return count == 0 || errno == ECONNRESET;
            }
        }
    }

    // Blocks until the other end closes, at most a few seconds; for a process without an event
    // loop of its own to run.
    bool waitUntilClosed() {
        pollfd readable{fd_, POLLIN, 0};
        while (!closed()) {
            if (::poll(&readable, 1, 10000) <= 0) {
                return false;
            }
        }
        return true;
    }

    std::string received;

private:
    int fd_;
    bool connected_ = false;
};

// Runs the event loop until `done`, for at most a few seconds.
bool runUntil(const std::function<bool()>& done) {
    const QDeadlineTimer deadline(10000);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

} // namespace

TEST_F(SingleInstanceTest, TheInstanceAnswersItsUserOnlyAndDropsEndlessLines) {
    SingleInstance instance;
    int shown = 0;
    ASSERT_EQ(instance.claim([&] { ++shown; }), SingleInstance::Claim::claimed);
    const auto path = *SingleInstance::socketPath();
    EXPECT_EQ(std::filesystem::path(path).parent_path(), home.path() / "ambrel");

    RawClient friendly(path);
    ASSERT_TRUE(friendly.connected());
    EXPECT_TRUE(runUntil([&] {
        friendly.closed();
        return friendly.received == "Ambrel " + std::to_string(::getpid()) + "\n";
    })) << friendly.received;
    ASSERT_TRUE(friendly.send("showHistory\nshowHist"));
    EXPECT_TRUE(runUntil([&] { return shown == 1; }));
    ASSERT_TRUE(friendly.send("ory\nsomething else\n"));
    EXPECT_TRUE(runUntil([&] { return shown == 2; }));

    // 64 KiB and more without a line break: the client is dropped before its request counts.
    RawClient endless(path);
    for (int i = 0; i < 64 && endless.send(std::string(1024, 'x')); ++i) {
    }
    endless.send("x\nshowHistory\n");
    EXPECT_TRUE(runUntil([&] { return endless.closed(); }));
    EXPECT_EQ(shown, 2);
    EXPECT_FALSE(friendly.closed()) << "others stay connected";

    // Another user who could reach the socket (here by opening folder and socket on purpose)
    // is still refused; only root can try it.
    if (::geteuid() != 0) {
        return;
    }
    ::chmod(home.path().c_str(), 0711);
    ::chmod((home.path() / "ambrel").c_str(), 0711);
    ::chmod(path.c_str(), 0777);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(3);
        }
        RawClient stranger(path);
        if (!stranger.connected() || !stranger.send("showHistory\n")) {
            ::_exit(4);
        }
        const bool closed = stranger.waitUntilClosed();
        ::_exit(closed && stranger.received.empty() ? 0 : 5);
    }
    int status = -1;
    EXPECT_TRUE(runUntil([&] { return ::waitpid(child, &status, WNOHANG) == child; }));
    EXPECT_EQ(status, 0) << "3: no other user, 4: could not connect, 5: was answered";
    ::chmod((home.path() / "ambrel").c_str(), 0700);
    ::chmod(home.path().c_str(), 0700);
    EXPECT_EQ(shown, 2);
}

TEST_F(SingleInstanceTest, ASecondCopyHandsOverAndALeftoverSocketIsTakenOver) {
    // A socket file nobody listens on, as a crash leaves it.
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const auto path = *SingleInstance::socketPath();
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

TEST_F(SingleInstanceTest, ASocketServedByAnotherUserIsNeitherAnsweredNorTakenOver) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can serve a socket as another user";
    }
    const auto path = *SingleInstance::socketPath();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::copy(path.begin(), path.end(), address.sun_path);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    // The socket file is this user's; the process listening on it is somebody else.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0 || ::listen(fd, 4) != 0) {
            ::_exit(3);
        }
        const char byte = 1;
        (void)::write(ready[1], &byte, 1);
        ::pause();
        ::_exit(0);
    }
    ::close(fd);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);

    EXPECT_FALSE(SingleInstance::handOff());
    SingleInstance instance;
    EXPECT_EQ(instance.claim([] {}), SingleInstance::Claim::failed);
    EXPECT_TRUE(std::filesystem::exists(path)) << "not removed as if left by a crash";
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);

    // Nobody listens any more: a leftover, which the next instance takes over.
    EXPECT_EQ(instance.claim([] {}), SingleInstance::Claim::claimed);
}
