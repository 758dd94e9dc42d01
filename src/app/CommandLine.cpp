#include "CommandLine.h"

#include "BuildInfo.h"
#include "DefaultFolders.h"
#include "SessionsCommand.h"

#include <fmt/format.h>

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace ambrel::CommandLine {

namespace {

constexpr std::string_view usage = R"(Usage:
  ambrel sessions list [--folder DIR] [--json]
  ambrel sessions show ID [--folder DIR] [--markdown | --plain [--no-times] [--no-speakers]]
  ambrel --version
  ambrel --help

Commands:
  sessions list   The stored sessions, newest first: id, start, end (or "live") and
                  number of lines, separated by tabs. --json prints a JSON array with
                  "id", "startedAt", "endedAt" (left out while live), "lastUpdated" and
                  "lineCount".
  sessions show   One session rendered from its record: the Markdown transcript
                  (--markdown, the default) or the plain text that copying gives
                  (--plain; --no-times and --no-speakers leave those out).

Options:
  --folder DIR    The transcripts folder (default: ~/Documents/Ambrel).

Exit status: 0 on success, 1 when a session cannot be read, 2 for usage errors.
)";

struct UsageError {
    std::string message;
};

// The arguments after the command words: options with their values, and plain operands.
class Arguments {
public:
    Arguments(std::vector<std::string_view> words) : words_(std::move(words)) {}

    bool flag(std::string_view name) {
        for (auto it = words_.begin(); it != words_.end(); ++it) {
            if (*it == name) {
                words_.erase(it);
                return true;
            }
        }
        return false;
    }

    std::optional<std::string> value(std::string_view name) {
        for (auto it = words_.begin(); it != words_.end(); ++it) {
            if (*it == name) {
                if (it + 1 == words_.end()) {
                    throw UsageError{fmt::format("{} needs a value", name)};
                }
                std::string result(*(it + 1));
                words_.erase(it, it + 2);
                return result;
            }
        }
        return std::nullopt;
    }

    // Whatever is left must be exactly `count` operands.
    std::vector<std::string> operands(std::size_t count) {
        for (auto word : words_) {
            if (word.size() > 1 && word.front() == '-') {
                throw UsageError{fmt::format("unknown option {}", word)};
            }
        }
        if (words_.size() != count) {
            throw UsageError{words_.size() < count
                                 ? "missing argument"
                                 : fmt::format("unexpected argument {}", words_[count])};
        }
        return {words_.begin(), words_.end()};
    }

private:
    std::vector<std::string_view> words_;
};

core::SessionStore storeFor(Arguments& arguments) {
    const auto folder = arguments.value("--folder");
    return core::SessionStore(folder ? std::filesystem::path(*folder)
                                     : DefaultFolders::transcripts());
}

int sessions(std::string_view command, Arguments arguments, std::ostream& out, std::ostream& err) {
    if (command == "list") {
        auto store = storeFor(arguments);
        const bool json = arguments.flag("--json");
        arguments.operands(0);
        return SessionsCommand::list(store, json, out, err);
    }
    if (command == "show") {
        auto store = storeFor(arguments);
        const bool markdown = arguments.flag("--markdown");
        const bool plain = arguments.flag("--plain");
        core::PlainTextOptions options;
        options.times = !arguments.flag("--no-times");
        options.speakers = !arguments.flag("--no-speakers");
        const auto id = arguments.operands(1).front();
        if (markdown && plain) {
            throw UsageError{"--markdown and --plain exclude each other"};
        }
        if (!plain && (!options.times || !options.speakers)) {
            throw UsageError{"--no-times and --no-speakers go with --plain"};
        }
        return SessionsCommand::show(store, id,
                                     plain ? SessionsCommand::ShowFormat::plainText
                                           : SessionsCommand::ShowFormat::markdown,
                                     options, out, err);
    }
    throw UsageError{command.empty() ? "sessions needs a command: list or show"
                                     : fmt::format("unknown sessions command {}", command)};
}

} // namespace

int run(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    std::vector<std::string_view> words(argv + 1, argv + argc);
    try {
        if (words.empty() || words.front() == "--help" || words.front() == "-h" ||
            words.front() == "help") {
            out << "Ambrel " << appVersion
                << ": live transcription of what the computer plays and the microphone hears.\n\n"
                << usage;
            return 0;
        }
        if (words.front() == "--version") {
            out << "Ambrel " << appVersion << '\n';
            return 0;
        }
        if (words.front() == "sessions") {
            const std::string_view command = words.size() > 1 ? words[1] : std::string_view();
            const auto rest = words.size() > 2
                                  ? std::vector<std::string_view>(words.begin() + 2, words.end())
                                  : std::vector<std::string_view>();
            return sessions(command, Arguments(rest), out, err);
        }
        throw UsageError{fmt::format("unknown command {}", words.front())};
    } catch (const UsageError& error) {
        err << "ambrel: " << error.message << "\nTry 'ambrel --help'.\n";
        return 2;
    }
}

} // namespace ambrel::CommandLine
