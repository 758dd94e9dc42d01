#include "CommandLine.h"

#include "BuildInfo.h"
#include "CommandArguments.h"
#include "ListenCommand.h"
#include "SessionsCommand.h"
#include "SpeechCommandSetup.h"
#include "TranscribeCommand.h"
#include "app/desktop/QtSettingsStore.h"
#include "locale/L10n.h"

#include <fmt/format.h>

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace ambrel::CommandLine {

namespace {

constexpr std::string_view usage = R"(Usage:
  ambrel          starts Ambrel in the tray (the desktop app)
  ambrel transcribe [--folder DIR] [--source systemAudio|microphone] [--language ID]... FILE...
  ambrel listen [--folder DIR] [--system-audio on|off] [--microphone on|off]
                [--echo-cancellation on|off] [--language ID]...
  ambrel sessions list [--folder DIR] [--json]
  ambrel sessions show ID [--folder DIR] [--markdown | --plain [--no-times] [--no-speakers]]
  ambrel sessions search QUERY [--folder DIR]
  ambrel --version
  ambrel --help

Commands:
  transcribe      Transcribes audio files (WAVE, any rate and channel count), one session
                  per file, as fast as recognition goes. Lines are timed as in the file,
                  from the moment the run starts. Recorded lines are printed as they come
                  ("[m:ss] text"); on a terminal the last line shows the words being
                  recognised. At the end of each file the path of its session's JSON
                  file is printed. --source says whose voice the file holds (default
                  systemAudio: the other side of a call; microphone: yours).
  listen          Transcribes what the computer plays (--system-audio, on by default)
                  and what the microphone hears (--microphone, off by default) until
                  Ctrl-C or SIGTERM, then closes the session and prints the path of its
                  JSON file. Lines are printed as they are recorded, labelled with their
                  source when both run; on a terminal the last line shows the words being
                  recognised or the status. When both run, what the speakers play is
                  removed from the microphone (--echo-cancellation, on by default).
  sessions list   The stored sessions, newest first: id, start, end (or "live") and
                  number of lines, separated by tabs. --json prints a JSON array with
                  "id", "startedAt", "endedAt" (left out while live), "lastUpdated" and
                  "lineCount".
  sessions show   One session rendered from its record: the Markdown transcript
                  (--markdown, the default) or the plain text that copying gives
                  (--plain; --no-times and --no-speakers leave those out), with the
                  labels of the interface language.
  sessions search The ids of the sessions whose lines contain QUERY, newest first, as
                  the history window finds them: case, accents and character width
                  do not matter ("cafe" finds "Café").

Options:
  --folder DIR    The transcripts folder (default: the one the app uses, at first
                  ~/Documents/Ambrel).
  --language ID   A recognition language such as en-US or de-DE; may be repeated to
                  recognise several side by side. Without it the languages are chosen
                  automatically. Missing models are downloaded first.

Environment:
  AMBREL_LOG=debug  transcribe and listen print every log message on standard error.

Exit status: 0 on success; 1 when a file, a session or the run failed (other files are
still transcribed); 2 for usage errors, an unknown language among them.
)";

// The folder and the interface language the app uses; --folder names another folder.
core::SessionStore storeFor(CommandArguments& arguments) {
    const auto settings = std::make_shared<QtSettingsStore>();
    L10n::configure(settings);
    const auto folder = arguments.value("--folder");
    return core::SessionStore(folder ? std::filesystem::path(*folder)
                                     : SpeechCommandSetup::configuredFolder(*settings));
}

int sessions(std::string_view command, CommandArguments arguments, std::ostream& out,
             std::ostream& err) {
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
    if (command == "search") {
        auto store = storeFor(arguments);
        const auto query = arguments.operands(1).front();
        return SessionsCommand::search(store, query, out, err);
    }
    throw UsageError{command.empty() ? "sessions needs a command: list, show or search"
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
            return sessions(command, CommandArguments(rest), out, err);
        }
        const auto rest = std::vector<std::string_view>(words.begin() + 1, words.end());
        if (words.front() == "transcribe") {
            return TranscribeCommand::run(CommandArguments(rest), out, err);
        }
        if (words.front() == "listen") {
            return ListenCommand::run(CommandArguments(rest), out, err);
        }
        throw UsageError{fmt::format("unknown command {}", words.front())};
    } catch (const UsageError& error) {
        err << "ambrel: " << error.message << "\nTry 'ambrel --help'.\n";
        return 2;
    } catch (const std::exception& error) {
        err << "ambrel: " << error.what() << '\n';
        return 1;
    }
}

} // namespace ambrel::CommandLine
