#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ambrel::testing {

// A child process run for a test; killed when the object goes.
class Subprocess {
public:
    // Starts `arguments` (the program looked up in PATH); standard output and error are
    // collected into files read by output() and errors().
    explicit Subprocess(std::vector<std::string> arguments);
    ~Subprocess();
    Subprocess(const Subprocess&) = delete;
    Subprocess& operator=(const Subprocess&) = delete;

    // The exit status once the child has ended; absent while it runs.
    std::optional<int> poll();
    // Waits for the end; returns the exit status (128 + signal when killed).
    int wait();
    void kill(int signal);
    std::string output() const;
    int pid() const { return pid_; }
    std::string errors() const;

    // Runs to the end and returns the exit status.
    static int run(std::vector<std::string> arguments);

private:
    int pid_ = -1;
    std::optional<int> status_;
    std::string outputPath_;
    std::string errorPath_;
};

} // namespace ambrel::testing
