#include "CommandLine.h"

#include "BuildInfo.h"
#include "CommandArguments.h"
#include "ListenCommand.h"
#include "SessionsCommand.h"
#include "SpeechCommandSetup.h"
#include "TranscribeCommand.h"
#include "app/desktop/QtSettingsStore.h"
#include "core/TerminalText.h"
#include "locale/L10n.h"

#include <fmt/format.h>

#include <algorithm>
#include <filesystem>
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
  ambrel sessions export ID [--folder DIR] [--format srt|vtt|txt|md|json] [--output FILE]
                         [--no-times] [--no-speakers]
  ambrel sessions search QUERY [--folder DIR]
  ambrel --version
  ambrel --help

Commands:
  transcribe      Transcribes audio files (WAVE, 1 to 32 channels at 8 to 384 kHz),
                  one session per file, as fast as recognition goes. Lines are timed as
                  in the file, from the moment the run starts. Recorded lines are printed
                  as they come ("[m:ss] text"); on a terminal the last line shows the
                  words being recognised. At the end of each file the path of its
                  session's JSON file is printed. --source says whose voice the file
                  holds (default systemAudio: the other side of a call; microphone: yours).
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
  sessions export The session as a file: SubRip (srt) or WebVTT (vtt) subtitles, the
                  plain text (txt; --no-times and --no-speakers as for show --plain), the
                  Markdown transcript (md) or the session's JSON record (json). Without
                  --format the extension of --output says which. Written to FILE (a new
                  file is readable by you only), else to standard output: as it is,
                  or escaped as below when that is a terminal.
  sessions search The ids of the sessions whose lines contain QUERY, newest first, as
                  the history window finds them: case, accents and character width
                  do not matter ("cafe" finds "Café").

Text from session files (lines, ids, file names) is printed with control characters
and bidirectional formatting characters escaped ("\u001b", "\u202e"), whether or not
the output is a terminal; --json, and export into a file or a pipe, keep it as is.

Options:
  --folder DIR    The transcripts folder (default: the one the app uses, at first
                  ~/Documents/Ambrel). The sessions commands fail when DIR does not
                  exist; transcribe and listen create it.
  --              Ends the options: what follows is an operand even if it starts with
                  "-" (ambrel sessions show -- -id).
  --language ID   A recognition language such as en-US or de-DE; may be repeated to
                  recognise several side by side. Without it the languages are chosen
                  automatically. Missing models are downloaded first.

Environment:
  AMBREL_LOG=debug  transcribe and listen print every log message on standard error.

Exit status: 0 on success; 1 when a file, a folder, a session or the run failed (other
files are still transcribed); 2 for usage errors, an unknown language or a malformed
session id among them.
)";

// The folder and the interface language the app uses; --folder names another folder, which
// must exist (the app's own folder is made with its first session, so before it there are none).
core::SessionStore storeFor(const std::optional<std::string>& folder) {
    const auto settings = std::make_shared<QtSettingsStore>();
    L10n::configure(settings);
    if (!folder) {
        return core::SessionStore(SpeechCommandSetup::configuredFolder(*settings));
    }
    std::error_code error;
    if (!std::filesystem::is_directory(*folder, error)) {
        throw CommandFailure(fmt::format("no folder {}", *folder));
    }
    return core::SessionStore(*folder);
}

// Plain-text options: --no-times and --no-speakers, which only plain text takes.
core::PlainTextOptions plainTextOptions(CommandArguments& arguments, bool plainText,
                                        std::string_view plainOption) {
    core::PlainTextOptions options;
    options.times = !arguments.flag("--no-times");
    options.speakers = !arguments.flag("--no-speakers");
    if (!plainText && (!options.times || !options.speakers)) {
        throw UsageError{fmt::format("--no-times and --no-speakers go with {}", plainOption)};
    }
    return options;
}

// The one operand: a session's id, which must name a file inside the folder.
std::string sessionID(CommandArguments& arguments) {
    auto id = arguments.operands(1).front();
    if (!core::SessionStore::isValidSessionID(id)) {
        throw UsageError{fmt::format("not a session id: \u201C{}\u201D", id)};
    }
    return id;
}

// --format, else the extension of --output.
core::ExportFormat exportFormat(const std::optional<std::string>& name,
                                const std::optional<std::string>& output) {
    if (name) {
        if (const auto format = core::exportFormatFromName(*name)) {
            return *format;
        }
        throw UsageError{fmt::format("unknown format {} (srt, vtt, txt, md or json)", *name)};
    }
    if (output) {
        const auto extension = std::filesystem::path(*output).extension().string();
        if (const auto format = core::exportFormatFromName(
                std::string_view(extension).substr(std::min<std::size_t>(1, extension.size())))) {
            return *format;
        }
    }
    throw UsageError{"export needs --format srt, vtt, txt, md or json, or an --output file name "
                     "ending in one"};
}

int sessions(std::string_view command, CommandArguments arguments, std::ostream& out,
             std::ostream& err) {
    // Usage errors come first; the folder is looked at once the call is known to make sense.
    const auto folder = arguments.value("--folder");
    if (command == "list") {
        const bool json = arguments.flag("--json");
        arguments.operands(0);
        auto store = storeFor(folder);
        return SessionsCommand::list(store, json, out, err);
    }
    if (command == "show") {
        const bool markdown = arguments.flag("--markdown");
        const bool plain = arguments.flag("--plain");
        if (markdown && plain) {
            throw UsageError{"--markdown and --plain exclude each other"};
        }
        const auto options = plainTextOptions(arguments, plain, "--plain");
        const auto id = sessionID(arguments);
        auto store = storeFor(folder);
        return SessionsCommand::show(store, id,
                                     plain ? SessionsCommand::ShowFormat::plainText
                                           : SessionsCommand::ShowFormat::markdown,
                                     options, out, err);
    }
    if (command == "export") {
        const auto output = arguments.value("--output");
        const auto format = exportFormat(arguments.value("--format"), output);
        const auto options =
            plainTextOptions(arguments, format == core::ExportFormat::plainText, "txt");
        const auto id = sessionID(arguments);
        auto store = storeFor(folder);
        return SessionsCommand::exportSession(
            store, id, format, options,
            output ? std::optional(std::filesystem::path(*output)) : std::nullopt, out, err);
    }
    if (command == "search") {
        const auto query = arguments.operands(1).front();
        auto store = storeFor(folder);
        return SessionsCommand::search(store, query, out, err);
    }
    throw UsageError{command.empty() ? "sessions needs a command: list, show, export or search"
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
        err << "ambrel: " << core::TerminalText::escaped(error.message)
            << "\nTry 'ambrel --help'.\n";
        return 2;
    } catch (const std::exception& error) {
        err << "ambrel: " << core::TerminalText::escaped(error.what()) << '\n';
        return 1;
    }
}

} // namespace ambrel::CommandLine
