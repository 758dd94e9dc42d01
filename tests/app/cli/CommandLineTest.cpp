#include "app/cli/CommandLine.h"

#include "ScopedEnvironment.h"
#include "TemporaryFolder.h"
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

    const auto empty =
        run({"sessions", "list", "--json", "--folder", (folder.path() / "none").string()});
    EXPECT_EQ(empty.out, "[]\n");
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
    const auto escape = run({"sessions", "show", "../x", "--folder", folder.path().string()});
    EXPECT_EQ(escape.status, 1);

    for (const std::vector<std::string>& usage :
         {std::vector<std::string>{"frobnicate"},
          {"sessions"},
          {"sessions", "list", "--folder"},
          {"sessions", "list", "extra"},
          {"sessions", "show"},
          {"sessions", "list", "--bogus"},
          {"sessions", "show", "x", "--markdown", "--plain"},
          {"sessions", "show", "x", "--no-times"},
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
