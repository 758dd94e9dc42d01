#include "app/cli/CommandLine.h"

#include "IsolatedHome.h"
#include "ScopedEnvironment.h"
#include "TemporaryFolder.h"
#include "core/SessionExport.h"
#include "core/SessionStore.h"
#include "core/TranscriptRenderer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

using namespace ambrel;
using ambrel::testing::ScopedEnvironment;
using ambrel::testing::TemporaryFolder;

namespace {

struct Result {
    int status;
    std::string out;
    std::string err;
};

Result run(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "ambrel");
    std::vector<const char*> argv;
    for (const auto& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    std::ostringstream out;
    std::ostringstream err;
    const int status = CommandLine::run(static_cast<int>(argv.size()), argv.data(), out, err);
    return {status, out.str(), err.str()};
}

constexpr double march14 = 1741939500.0; // 09:05 in Berlin

core::SessionRecord session(const std::string& id, double start, bool ended) {
    core::SessionRecord record(id, start);
    record.lines.push_back(
        {core::Uuid::random(), "Hello there.", start + 1, core::SpeechSource::microphone, "en-US"});
    record.lines.push_back(
        {core::Uuid::random(), "Hi!", start + 2, core::SpeechSource::systemAudio, "en-US"});
    record.lastUpdated = start + 3;
    if (ended) {
        record.endedAt = start + 4;
    }
    return record;
}

} // namespace

TEST(CommandLine, ListsSessionsNewestFirstAsTextAndJson) {
    TemporaryFolder folder;
    core::SessionStore store(folder.path());
    store.save(session("2025-03-14 09-05-00", march14, true));
    store.save(session("2025-03-14 10-00-00", march14 + 3300, false));
    folder.write("broken.json", "{");

    const auto text = run({"sessions", "list", "--folder", folder.path().string()});
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(text.out, "2025-03-14 10-00-00\t2025-03-14 10:00:00\tlive\t2\n"
                        "2025-03-14 09-05-00\t2025-03-14 09:05:00\t2025-03-14 09:05:04\t2\n");

    const auto json = run({"sessions", "list", "--json", "--folder", folder.path().string()});
    ASSERT_EQ(json.status, 0);
    const auto array = nlohmann::json::parse(json.out);
    ASSERT_EQ(array.size(), 2u);
    EXPECT_EQ(array[0], (nlohmann::json{{"id", "2025-03-14 10-00-00"},
                                        {"startedAt", "2025-03-14T09:00:00.000Z"},
                                        {"lastUpdated", "2025-03-14T09:00:03.000Z"},
                                        {"lineCount", 2}}));
    EXPECT_EQ(array[1]["endedAt"], "2025-03-14T08:05:04.000Z");

    // A folder that is not there is a mistake, not an empty list.
    const auto none = (folder.path() / "none").string();
    const auto missing = run({"sessions", "list", "--json", "--folder", none});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "ambrel: no folder " + none + "\n");
    EXPECT_EQ(
        run({"sessions", "list", "--folder", (folder.path() / "broken.json").string()}).status, 1);
    EXPECT_EQ(run({"sessions", "search", "x", "--folder", none}).status, 1);
    EXPECT_EQ(run({"sessions", "show", "x", "--folder", none}).err,
              "ambrel: no folder " + none + "\n");
}

TEST(CommandLine, ShowsASessionRenderedFromItsRecord) {
    TemporaryFolder folder;
    core::SessionStore store(folder.path());
    const auto record = session("2025-03-14 09-05-00", march14, true);
    store.save(record);
    std::filesystem::remove(store.markdownURL(record.id)); // rendered afresh, not read

    const auto markdown = run({"sessions", "show", record.id, "--folder", folder.path().string()});
    EXPECT_EQ(markdown.status, 0);
    EXPECT_EQ(markdown.out,
              core::TranscriptRenderer::markdown(record, core::TranscriptLabels::english(),
                                                 core::TimeZone::system()));
    const auto plain = run({"sessions", "show", "--plain", "--no-times", record.id, "--folder",
                            folder.path().string()});
    EXPECT_EQ(plain.out, "Me: Hello there.\nOthers: Hi!\n");
    const auto bare = run({"sessions", "show", "--plain", "--no-speakers", record.id, "--folder",
                           folder.path().string()});
    EXPECT_EQ(bare.out, "[09:05:01] Hello there.\n[09:05:02] Hi!\n");
}

TEST(CommandLine, ReportsMissingSessionsAndUsageErrors) {
    TemporaryFolder folder;
    folder.write("bad.json", "{\"appVersion\": 3}");
    const auto missing = run({"sessions", "show", "nope", "--folder", folder.path().string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err,
              "ambrel: no session \u201Cnope\u201D in " + folder.path().string() + "\n");
    const auto bad = run({"sessions", "show", "bad", "--folder", folder.path().string()});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find((folder.path() / "bad.json").string()), std::string::npos);
    // Ids that would leave the folder are malformed, whether or not such a file exists.
    for (const auto* id : {"../x", "a/b", "..", ".", ""}) {
        const auto invalid = run({"sessions", "show", id, "--folder", folder.path().string()});
        EXPECT_EQ(invalid.status, 2) << id;
        EXPECT_NE(invalid.err.find("not a session id"), std::string::npos) << invalid.err;
        EXPECT_EQ(run({"sessions", "export", id, "--format", "md"}).status, 2) << id;
    }

    for (const std::vector<std::string>& usage :
         {std::vector<std::string>{"frobnicate"},
          {"sessions"},
          {"sessions", "list", "--folder"},
          {"sessions", "list", "extra"},
          {"sessions", "show"},
          {"sessions", "list", "--bogus"},
          {"sessions", "show", "x", "--markdown", "--plain"},
          {"sessions", "show", "x", "--no-times"},
          {"sessions", "show", "-x"},
          {"sessions", "show", "--", "a", "b"},
          {"sessions", "export", "x"},
          {"sessions", "export", "x", "--output", "x.doc"},
          {"sessions", "export", "x", "--format", "pdf"},
          {"sessions", "export", "x", "--format", "md", "--no-speakers"},
          {"sessions", "export", "x", "--output", "x.srt", "--no-times"},
          {"sessions", "export", "--format", "md"},
          {"sessions", "list", "--folder", "a", "--folder", "b"},
          {"transcribe"},
          {"transcribe", "--source", "speakers", "a.wav"},
          {"transcribe", "--bogus", "a.wav"},
          {"listen", "--microphone", "maybe"},
          {"listen", "--echo-cancellation", "yes"},
          {"listen", "--system-audio", "off"},
          {"listen", "extra"}}) {
        const auto result = run(usage);
        EXPECT_EQ(result.status, 2) << usage.back();
        EXPECT_NE(result.err.find("Try 'ambrel --help'."), std::string::npos);
        EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(run({"--help"}).status, 0);
    EXPECT_EQ(run({"--version"}).out, "Ambrel 0.1.0\n");
}

TEST(CommandLine, DefaultsToTheDocumentsFolder) {
    TemporaryFolder home;
    ScopedEnvironment homeVariable("HOME", home.path().string());
    ScopedEnvironment config("XDG_CONFIG_HOME", std::nullopt);
    home.write(".config/user-dirs.dirs",
               "# written by xdg-user-dirs-update\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    core::SessionStore(home.path() / "Dokumente/Ambrel").save(session("found", march14, true));
    EXPECT_EQ(run({"sessions", "list"}).out.substr(0, 6), "found\t");
}

TEST(CommandLine, UsesTheFolderTheAppWasGiven) {
    TemporaryFolder home;
    ScopedEnvironment homeVariable("HOME", home.path().string());
    ScopedEnvironment config("XDG_CONFIG_HOME", (home.path() / "config").string());
    const auto chosen = home.path() / "Meetings, 2025";
    home.write("config/Ambrel/Ambrel.conf",
               "[General]\nsessionsFolderBookmark=\"" + chosen.string() + "\"\n");
    core::SessionStore(chosen).save(session("chosen", march14, true));
    EXPECT_EQ(run({"sessions", "list"}).out.substr(0, 7), "chosen\t");
}

TEST(CommandLine, SearchesAsTheHistoryWindowDoes) {
    TemporaryFolder folder;
    core::SessionStore store(folder.path());
    auto older = session("2025-03-14 09-05-00", march14, true);
    older.lines[0].text = "Rendez-vous au Café";
    store.save(older);
    auto newer = session("2025-03-14 10-00-00", march14 + 3300, true);
    newer.lines[1].text = "The BUDGET is ready";
    store.save(newer);
    const auto in = [&](std::vector<std::string> words) {
        words.insert(words.begin(), {"sessions", "search"});
        words.insert(words.end(), {"--folder", folder.path().string()});
        return run(words);
    };
    EXPECT_EQ(in({"cafe"}).out, "2025-03-14 09-05-00\n");
    EXPECT_EQ(in({"ｂｕｄｇｅｔ"}).out, "2025-03-14 10-00-00\n");
    EXPECT_EQ(in({"HELLO"}).out, "2025-03-14 10-00-00\n");
    EXPECT_EQ(in({"  "}).out, "2025-03-14 10-00-00\n2025-03-14 09-05-00\n");
    EXPECT_EQ(in({"nowhere"}).out, "");
    EXPECT_EQ(in({"nowhere"}).status, 0);
    EXPECT_EQ(run({"sessions", "search"}).status, 2);
}

TEST(CommandLine, PrintsWhatSessionFilesHoldWithControlsEscaped) {
    TemporaryFolder folder;
    core::SessionStore store(folder.path());
    // A name that tries to forge a row of the listing, and lines that try to take over the
    // terminal: clear the screen, set the title, reverse the text's direction.
    auto record = session("evil\tlive\t99\nforged", march14, true);
    record.lines[0].text = "\x1b[2J\x1b]0;owned\x07 cleared";
    record.lines[1].text = "\u202Etxt.exe \xc2\x9b"
                           "31m red \\ back\ttab\x7f";
    record.languages = {"en-US\n- Forged: row", "\x1b[31m"};
    store.save(record);
    const auto in = folder.path().string();

    const auto list = run({"sessions", "list", "--folder", in});
    EXPECT_EQ(
        list.out,
        "evil\\u0009live\\u000999\\u000aforged\t2025-03-14 09:05:00\t2025-03-14 09:05:04\t2\n");
    EXPECT_EQ(run({"sessions", "search", "cleared", "--folder", in}).out,
              "evil\\u0009live\\u000999\\u000aforged\n");
    const auto json = run({"sessions", "list", "--json", "--folder", in});
    EXPECT_EQ(nlohmann::json::parse(json.out)[0]["id"], record.id); // JSON escapes on its own

    const auto plain = run({"sessions", "show", record.id, "--plain", "--folder", in});
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.out,
              "[09:05:01] Me: \\u001b[2J\\u001b]0;owned\\u0007 cleared\n"
              "[09:05:02] Others: \\u202etxt.exe \\u009b31m red \\ back\\u0009tab\\u007f\n");
    for (const auto& form : {std::vector<std::string>{}, {"--markdown"}}) {
        auto words = std::vector<std::string>{"sessions", "show", record.id, "--folder", in};
        words.insert(words.end(), form.begin(), form.end());
        const auto markdown = run(words);
        EXPECT_EQ(markdown.status, 0);
        EXPECT_NE(markdown.out.find("**Me**: \\u001b\\[2J\\u001b]0;owned\\u0007 cleared"),
                  std::string::npos)
            << markdown.out;
        // Language codes are named by the interface language, whatever they hold.
        EXPECT_NE(markdown.out.find(", \\u001b[31m\n"), std::string::npos) << markdown.out;
        EXPECT_EQ(markdown.out.find("\n- Forged"), std::string::npos) << markdown.out;
        EXPECT_EQ(markdown.out.find_first_of("\x1b\x07\t\x7f"), std::string::npos);
        EXPECT_EQ(markdown.out.find("\u202E"), std::string::npos);
        EXPECT_EQ(markdown.out.find("\xc2\x9b"), std::string::npos);
    }

    // Messages about a session name it escaped too.
    const auto missing = run({"sessions", "show", "\x1b]0;x\x07", "--folder", in});
    EXPECT_EQ(missing.err, "ambrel: no session \u201C\\u001b]0;x\\u0007\u201D in " + in + "\n");
}

TEST(CommandLine, ADoubleDashEndsTheOptions) {
    TemporaryFolder folder;
    core::SessionStore store(folder.path());
    store.save(session("-x", march14, true));
    store.save(session("--plain", march14 + 60, true));
    const auto in = folder.path().string();
    const auto shown = run({"sessions", "show", "--folder", in, "--plain", "--", "-x"});
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(shown.out, "[09:05:01] Me: Hello there.\n[09:05:02] Others: Hi!\n");
    // After "--" even a known option's name is an id.
    const auto named = run({"sessions", "show", "--folder", in, "--", "--plain"});
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(named.out.substr(0, 2), "# ");
    EXPECT_EQ(run({"sessions", "search", "--folder", in, "--", "-hello"}).status, 0);
    EXPECT_EQ(run({"sessions", "list", "--", "--folder", in}).status, 2);
}

TEST(CommandLine, ExportsASessionInEveryFormat) {
    TemporaryFolder folder;
    core::SessionStore store(folder.path());
    auto record = session("2025-03-14 09-05-00", march14, true);
    record.lines[1].text = "Hi!\x1b[2J";
    store.save(record);
    const auto in = folder.path().string();
    const auto labels = core::TranscriptLabels::english();
    const auto zone = core::TimeZone::system();
    core::PlainTextOptions noTimes;
    noTimes.times = false;

    for (const auto format : core::allExportFormats) {
        const auto name = std::string(core::fileExtension(format));
        const auto expected = core::SessionExport::render(
            record, format, labels,
            format == core::ExportFormat::plainText ? noTimes : core::PlainTextOptions{}, zone);
        std::vector<std::string> words{"sessions", "export", record.id, "--folder", in};
        if (format == core::ExportFormat::plainText) {
            words.push_back("--no-times");
        }

        // Named by --format, to standard output: the bytes as they are, not escaped.
        auto toOutput = words;
        toOutput.insert(toOutput.end(), {"--format", name});
        const auto printed = run(toOutput);
        EXPECT_EQ(printed.status, 0) << name << printed.err;
        EXPECT_EQ(printed.out, expected) << name;

        // Named by the file's extension, into a new file that only its owner may read.
        const auto file = folder.path() / ("out/export." + name);
        std::filesystem::create_directories(file.parent_path());
        auto toFile = words;
        toFile.insert(toFile.end(), {"--output", file.string()});
        const auto written = run(toFile);
        EXPECT_EQ(written.status, 0) << name << written.err;
        EXPECT_EQ(written.out, "");
        EXPECT_EQ(folder.read("out/export." + name), expected) << name;
        EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::all,
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    }
    EXPECT_EQ(folder.read("out/export.txt"), "Me: Hello there.\nOthers: Hi!\x1b[2J\n");
    EXPECT_EQ(folder.read("out/export.srt").substr(0, 6), "1\n00:0");

    // --format wins over the extension; an existing file is replaced.
    const auto named = folder.path() / "out/export.srt";
    EXPECT_EQ(run({"sessions", "export", record.id, "--folder", in, "--format", "vtt", "--output",
                   named.string()})
                  .status,
              0);
    EXPECT_EQ(folder.read("out/export.srt").substr(0, 7), "WEBVTT\n");

    const auto missing = run({"sessions", "export", "nope", "--folder", in, "--format", "md"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "ambrel: no session \u201Cnope\u201D in " + in + "\n");
    const auto unwritable = folder.path() / "no/such/folder/x.md";
    const auto failed =
        run({"sessions", "export", record.id, "--folder", in, "--output", unwritable.string()});
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.err.find(unwritable.string()), std::string::npos) << failed.err;
    EXPECT_FALSE(std::filesystem::exists(unwritable.parent_path()));
}

TEST(CommandLine, ListenWithoutASoundServerSaysSoOnce) {
    ambrel::testing::IsolatedHome home;
    ScopedEnvironment server("PULSE_SERVER", "unix:" + (home.path() / "no-server").string());
    const auto result = run({"listen", "--folder", (home.path() / "out").string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    const auto message = result.err.find("Couldn\u2019t connect to the sound server");
    ASSERT_NE(message, std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("sound server", message + 40), std::string::npos) << result.err;
}
