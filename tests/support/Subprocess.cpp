#include "Subprocess.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace ambrel::testing {

namespace {

std::string temporaryFile() {
    std::string pattern = "/tmp/ambrel-subprocess-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        throw std::runtime_error("cannot create a temporary file");
    }
    ::close(fd);
    return pattern;
}

std::string contents(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

int decode(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

Subprocess::Subprocess(std::vector<std::string> arguments)
    : outputPath_(temporaryFile())
    , errorPath_(temporaryFile()) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath_.c_str(),
                                     O_WRONLY | O_TRUNC, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath_.c_str(),
                                     O_WRONLY | O_TRUNC, 0);
    std::vector<char*> argv;
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const int result = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) {
        throw std::runtime_error("cannot start " + arguments.front());
    }
}

Subprocess::~Subprocess() {
    if (!status_) {
        kill(SIGKILL);
        wait();
    }
    ::unlink(outputPath_.c_str());
    ::unlink(errorPath_.c_str());
}

std::optional<int> Subprocess::poll() {
    if (!status_) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = decode(status);
        }
    }
    return status_;
}

int Subprocess::wait() {
    if (!status_) {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        status_ = decode(status);
    }
    return *status_;
}

void Subprocess::kill(int signal) {
    if (!status_) {
        ::kill(pid_, signal);
    }
}

std::string Subprocess::output() const {
    return contents(outputPath_);
}
std::string Subprocess::errors() const {
    return contents(errorPath_);
}

int Subprocess::run(std::vector<std::string> arguments) {
    return Subprocess(std::move(arguments)).wait();
}

} // namespace ambrel::testing
