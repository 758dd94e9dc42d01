#include "core/SessionStore.h"

#include "ScopedEnvironment.h"
#include "SessionExamples.h"
#include "TemporaryFolder.h"
#include "core/SessionCoding.h"
#include "core/SessionFileError.h"
#include "core/TranscriptRenderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ambrel::core;
using ambrel::testing::makeRecord;
using ambrel::testing::march14;
using ambrel::testing::ScopedEnvironment;
using ambrel::testing::TemporaryFolder;
namespace fs = std::filesystem;

namespace {

const TimeZone berlin = TimeZone::named("Europe/Berlin");

std::vector<std::string> ids(const std::vector<SessionSummary>& summaries) {
    std::vector<std::string> result;
    for (const auto& summary : summaries) {
        result.push_back(summary.id);
    }
    return result;
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

fs::perms permissions(const fs::path& path) {
    return fs::status(path).permissions() & fs::perms::all;
}

// Sets the process's umask for the lifetime of the object.
class Umask {
public:
    explicit Umask(mode_t mask) : previous_(::umask(mask)) {}
    ~Umask() { ::umask(previous_); }
    Umask(const Umask&) = delete;
    Umask& operator=(const Umask&) = delete;

private:
    mode_t previous_;
};

// Makes writes beyond `bytes` fail with EFBIG for the lifetime of the object (even for root).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
};

} // namespace

TEST(SessionStore, SessionIDsComeFromTheLocalStartTimeAndStayUnique) {
    TemporaryFolder folder;
    SessionStore store(folder.path(), berlin);
    EXPECT_EQ(store.makeSessionID(march14), "2025-03-14 09-05-00");
    // Reserved before anything is written.
    EXPECT_EQ(store.makeSessionID(march14 + 0.9), "2025-03-14 09-05-00 (2)");
    EXPECT_EQ(store.makeSessionID(march14), "2025-03-14 09-05-00 (3)");

    // A fresh store knows only the files: a left-over Markdown file still takes the name.
    folder.write("2025-03-14 10-00-00.md", "# old");
    folder.write("2025-03-14 10-00-00 (2).json", "{}");
    SessionStore fresh(folder.path(), berlin);
    EXPECT_EQ(fresh.makeSessionID(march14 + 55 * 60), "2025-03-14 10-00-00 (3)");
    EXPECT_EQ(fresh.makeSessionID(march14), "2025-03-14 09-05-00");

    // Identifiers follow the zone's daylight-saving rules.
    EXPECT_EQ(SessionStore(folder.path(), berlin).makeSessionID(1751356800.0),
              "2025-07-01 10-00-00");
    EXPECT_EQ(SessionStore(folder.path(), TimeZone::utc()).makeSessionID(march14),
              "2025-03-14 08-05-00");
}

TEST(SessionStore, SystemZoneFollowsChanges) {
    TemporaryFolder folder;
    SessionStore store(folder.path());
    ScopedEnvironment tokyo("TZ", "Asia/Tokyo");
    EXPECT_EQ(store.makeSessionID(march14), "2025-03-14 17-05-00");
    ScopedEnvironment newYork("TZ", "America/New_York");
    EXPECT_EQ(store.makeSessionID(march14), "2025-03-14 04-05-00");
}

TEST(SessionStore, SavesBothFilesAndLoadsTheRecordBack) {
    TemporaryFolder folder;
    SessionStore store(folder.path() / "nested" / "folder", berlin);
    auto record = makeRecord(store.makeSessionID(march14), march14, 12);
    record.markers.push_back({MarkerKind::paused, march14 + 5});
    store.save(record);

    EXPECT_EQ(store.load(record.id), record);
    EXPECT_EQ(folder.read("nested/folder/" + record.id + ".md"),
              TranscriptRenderer::markdown(record, TranscriptLabels::english(), berlin));
    EXPECT_EQ(namesIn(store.directory()),
              (std::vector<std::string>{record.id + ".json", record.id + ".md"}))
        << "no temporary files are left behind";

    // Saving again replaces both files.
    record.lines.pop_back();
    record.endedAt = march14 + 60;
    store.save(record);
    EXPECT_EQ(store.load(record.id), record);
    EXPECT_NE(folder.read("nested/folder/" + record.id + ".md").find("- Lines: 11"),
              std::string::npos);
}

TEST(SessionStore, TheFileNameWinsOverTheStoredID) {
    TemporaryFolder folder;
    SessionStore store(folder.path(), berlin);
    store.save(makeRecord("2025-03-14 09-05-00", march14, 2));
    fs::rename(store.jsonURL("2025-03-14 09-05-00"), store.jsonURL("Meeting"));
    EXPECT_EQ(store.load("Meeting").id, "Meeting");
    const auto sessions = store.listSessions();
    ASSERT_EQ(ids(sessions), std::vector<std::string>{"Meeting"});
    EXPECT_EQ(sessions[0].jsonURL, folder.path() / "Meeting.json");
    EXPECT_EQ(sessions[0].markdownURL, folder.path() / "Meeting.md");
}

TEST(SessionStore, RefusesNamesThatLeaveTheFolder) {
    TemporaryFolder folder;
    SessionStore store(folder.path() / "sessions", berlin);
    for (const std::string& id :
         std::vector<std::string>{"", ".", "..", "../escape", "a/b", std::string("nul\0l", 5)}) {
        auto record = makeRecord(id, march14, 1);
        EXPECT_THROW(store.save(record), SessionFileError) << id;
        EXPECT_THROW(store.load(id), SessionFileError) << id;
        EXPECT_THROW(store.trash(id), SessionFileError) << id;
    }
    EXPECT_FALSE(fs::exists(folder.path() / "escape.json"));
    EXPECT_FALSE(fs::exists(folder.path() / "sessions"));
    // Names that merely look odd are fine.
    EXPECT_TRUE(SessionStore::isValidSessionID("..."));
    EXPECT_TRUE(SessionStore::isValidSessionID("Meeting: Q3 \u2014 notes"));
}

TEST(SessionStore, AFailedWriteLeavesThePreviousFilesIntact) {
    TemporaryFolder folder;
    SessionStore store(folder.path(), berlin);
    const auto original = makeRecord("s", march14, 2);
    store.save(original);
    const auto json = folder.read("s.json");
    const auto markdown = folder.read("s.md");

    const auto bigger = makeRecord("s", march14, 400);
    {
        FileSizeLimit limit(json.size() + 100);
        EXPECT_THROW(store.save(bigger), fs::filesystem_error);
    }
    EXPECT_EQ(folder.read("s.json"), json);
    EXPECT_EQ(folder.read("s.md"), markdown);
    EXPECT_EQ(namesIn(folder.path()), (std::vector<std::string>{"s.json", "s.md"}));

    // When only the Markdown write fails, the new JSON file stays.
    fs::remove(store.markdownURL("s"));
    fs::create_directory(store.markdownURL("s"));
    folder.write("s.md/keep", "x");
    EXPECT_THROW(store.save(bigger), fs::filesystem_error);
    EXPECT_EQ(store.load("s"), bigger);
    EXPECT_EQ(folder.read("s.md/keep"), "x");
}

TEST(SessionStore, TranscriptsAreForTheirOwnerOnly) {
    TemporaryFolder folder;
    const Umask usual(022);
    const fs::perms ownerReadWrite = fs::perms::owner_read | fs::perms::owner_write;

    // Folders the store makes are private; the files in them too.
    SessionStore store(folder.path() / "made/sessions", berlin);
    store.save(makeRecord("s", march14, 1));
    EXPECT_EQ(permissions(folder.path() / "made"), fs::perms::owner_all);
    EXPECT_EQ(permissions(store.directory()), fs::perms::owner_all);
    EXPECT_EQ(permissions(store.jsonURL("s")), ownerReadWrite);
    EXPECT_EQ(permissions(store.markdownURL("s")), ownerReadWrite);

    // A rewrite keeps what the user chose, whichever way.
    fs::permissions(store.jsonURL("s"), ownerReadWrite | fs::perms::group_read);
    fs::permissions(store.markdownURL("s"), fs::perms::owner_read);
    store.save(makeRecord("s", march14, 2));
    EXPECT_EQ(permissions(store.jsonURL("s")), ownerReadWrite | fs::perms::group_read);
    EXPECT_EQ(permissions(store.markdownURL("s")), fs::perms::owner_read);
    EXPECT_EQ(store.load("s").lines.size(), 2u);

    // A folder the user made keeps its permissions; the hidden trash inside is private.
    fs::create_directory(folder.path() / "shared");
    fs::permissions(folder.path() / "shared",
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    SessionStore shared(folder.path() / "shared", berlin);
    shared.setMoveToTrash([](const fs::path& file) {
        throw fs::filesystem_error("refused", file,
                                   std::make_error_code(std::errc::permission_denied));
    });
    shared.save(makeRecord("t", march14, 1));
    shared.trash("t");
    EXPECT_EQ(permissions(shared.directory()),
              fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    EXPECT_EQ(permissions(shared.directory() / ".trash"), fs::perms::owner_all);
    EXPECT_EQ(permissions(shared.directory() / ".trash/t.json"), ownerReadWrite);
}

TEST(SessionStore, LoadErrorsNameTheFile) {
    TemporaryFolder folder;
    SessionStore store(folder.path(), berlin);
    auto expectError = [&](const std::string& id, const std::string& fragment) {
        try {
            store.load(id);
            ADD_FAILURE() << id << " loaded";
        } catch (const SessionFileError& error) {
            const std::string message = error.what();
            EXPECT_NE(message.find(store.jsonURL(id).string()), std::string::npos) << message;
            EXPECT_NE(message.find(fragment), std::string::npos) << message;
            EXPECT_EQ(error.path(), store.jsonURL(id));
        }
    };
    const auto valid = SessionCoding::encode(makeRecord("x", march14, 3));
    folder.write("truncated.json", valid.substr(0, valid.size() / 2));
    folder.write("latin1.json", "{\"text\": \"caf\xE9\"}");
    folder.write("typed.json", R"({"appVersion": 1})");
    folder.write("empty.json", "");
    fs::create_directory(folder.path() / "folder.json");
    expectError("missing", "No such file");
    expectError("truncated", "parse error");
    expectError("latin1", "parse error");
    expectError("typed", "appVersion: expected a text");
    expectError("empty", "parse error");
    expectError("folder", "Is a directory");
    // Nothing that could keep the reader waiting: a pipe nobody writes to, a device.
    ASSERT_EQ(::mkfifo((folder.path() / "pipe.json").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", folder.path() / "device.json");
    expectError("pipe", "not a regular file");
    expectError("device", "not a regular file");

    try {
        store.load("missing");
    } catch (const SessionFileError& error) {
        EXPECT_EQ(error.code(), std::errc::no_such_file_or_directory);
    }

    // A file beyond the size limit is refused without reading it.
    { std::ofstream(folder.path() / "huge.json").put('{'); }
    fs::resize_file(folder.path() / "huge.json", SessionStore::maximumFileSize + 1);
    expectError("huge", "larger than");
}

TEST(SessionStore, ListingShowsReadableSessionsNewestFirst) {
    TemporaryFolder folder;
    SessionStore store(folder.path(), berlin);
    EXPECT_TRUE(SessionStore(folder.path() / "missing", berlin).listSessions().empty());

    store.save(makeRecord("b", march14, 3));
    store.save(makeRecord("a", march14, 1)); // same start: greater id first
    auto ended = makeRecord("later", march14 + 60, 0);
    ended.endedAt = march14 + 90;
    store.save(ended);
    store.save(makeRecord("earliest", march14 - 60, 2));
    fs::remove(store.markdownURL("earliest")); // listed without its Markdown file

    const auto valid = SessionCoding::encode(makeRecord("x", march14, 3));
    folder.write("notes.JSON", valid);
    folder.write("x.txt", valid);
    folder.write(".hidden.json", valid);
    folder.write(".trash/old.json", valid);
    folder.write("y.json", "{ broken");
    folder.write("cut.json", valid.substr(0, valid.size() - 3));
    folder.write("latin1.json", "{\"startedAt\":\"2025-03-14T08:05:00.000Z\",\"lastUpdated\":"
                                "\"2025-03-14T08:05:00.000Z\",\"lines\":[\"caf\xE9\"]}");
    fs::create_directory(folder.path() / "dir.json");
    { std::ofstream(folder.path() / "huge.json").put('{'); }
    fs::resize_file(folder.path() / "huge.json", SessionStore::maximumFileSize + 1);

    const auto sessions = store.listSessions();
    EXPECT_EQ(ids(sessions), (std::vector<std::string>{"later", "b", "a", "earliest"}));
    EXPECT_EQ(sessions[0].endedAt, march14 + 90);
    EXPECT_EQ(sessions[0].lineCount, 0u);
    EXPECT_EQ(sessions[1].lineCount, 3u);
    EXPECT_FALSE(sessions[1].endedAt);
    EXPECT_EQ(sessions[1].lastUpdated, march14 + 6);
    EXPECT_EQ(sessions[3].markdownURL, folder.path() / "earliest.md");

    // A listing that remembers what it read sees changes, new files and removed ones alike.
    SessionStore::ListingCache cache;
    EXPECT_EQ(ids(store.listSessions(cache)), ids(sessions));
    EXPECT_EQ(cache.files.count("y.json"), 1u); // unreadable, remembered as such
    store.save(makeRecord("b", march14, 5));
    fs::remove(store.jsonURL("a"));
    folder.write("y.json", SessionCoding::encode(makeRecord("y", march14 - 120, 1)));
    const auto again = store.listSessions(cache);
    EXPECT_EQ(ids(again), (std::vector<std::string>{"later", "b", "earliest", "y"}));
    EXPECT_EQ(again[1].lineCount, 5u);
    EXPECT_EQ(cache.files.count("a.json"), 0u);
}

TEST(SessionStore, TrashesThroughTheSystemTrashOrTheHiddenFolder) {
    TemporaryFolder folder;
    ScopedEnvironment dataHome("XDG_DATA_HOME", (folder.path() / "data").string());
    SessionStore store(folder.path() / "sessions", berlin);

    try {
        store.trash("nothing");
        FAIL() << "trashing a missing session succeeded";
    } catch (const fs::filesystem_error& error) {
        EXPECT_EQ(error.code(), std::errc::no_such_file_or_directory);
    }

    // Default: the freedesktop.org trash.
    store.save(makeRecord("s", march14, 1));
    store.trash("s");
    EXPECT_TRUE(store.listSessions().empty());
    EXPECT_TRUE(fs::exists(folder.path() / "data/Trash/files/s.json"));
    EXPECT_TRUE(fs::exists(folder.path() / "data/Trash/info/s.md.trashinfo"));

    // A trash that refuses: the files go into ".trash", numbered when the name is taken.
    std::vector<fs::path> offered;
    store.setMoveToTrash([&](const fs::path& file) {
        offered.push_back(file);
        throw fs::filesystem_error("refused", file,
                                   std::make_error_code(std::errc::permission_denied));
    });
    for (int round = 0; round < 2; ++round) {
        store.save(makeRecord("t", march14, 1));
        store.trash("t");
    }
    fs::remove(store.jsonURL("t"));
    store.save(makeRecord("t", march14, 1));
    fs::remove(store.jsonURL("t"));
    store.trash("t"); // only the Markdown file is left
    EXPECT_EQ(offered.size(), 5u);
    EXPECT_EQ(namesIn(store.directory() / ".trash"),
              (std::vector<std::string>{"t (2).json", "t (2).md", "t (3).md", "t.json", "t.md"}));
    EXPECT_EQ(namesIn(store.directory()), std::vector<std::string>{".trash"});
}
