// The history window over a large folder: 5,000 sessions of 200 lines each. How long until the
// opened window shows its list, and how long a search takes before and after the records are
// cached. A scripted measurement on the offscreen platform; it prints its own figures.
#include "TemporaryFolder.h"
#include "app/AppSettings.h"
#include "app/desktop/QtScheduler.h"
#include "app/history/HistoryModel.h"
#include "app/history/HistoryWindow.h"
#include "app/history/SessionListModel.h"
#include "core/SessionLibrary.h"
#include "core/SessionStore.h"
#include "core/TextMatcher.h"

#include <QApplication>
#include <QElapsedTimer>
#include <fmt/format.h>
#include <unicode/coll.h>
#include <unicode/stsearch.h>

#include <cstdlib>
#include <iostream>
#include <random>

using namespace ambrel;

namespace {

constexpr int sessionCount = 5000;
constexpr int linesPerSession = 200;
constexpr double start = 1700000000.0;

const std::vector<std::string> words = {
    "budget",  "meeting", "quarter", "release", "customer", "report",   "travel",  "office",
    "project", "design",  "review",  "plan",    "team",     "schedule", "update",  "question",
    "answer",  "idea",    "market",  "product", "sales",    "support",  "feature", "week"};

void makeFolder(const std::filesystem::path& folder) {
    core::SessionStore store(folder);
    std::mt19937 random(7);
    std::uniform_int_distribution<std::size_t> pick(0, words.size() - 1);
    for (int s = 0; s < sessionCount; ++s) {
        const double begin = start + s * 3600.0;
        core::SessionRecord record(store.makeSessionID(begin), begin);
        for (int l = 0; l < linesPerSession; ++l) {
            std::string text;
            for (int w = 0; w < 12; ++w) {
                text += (w == 0 ? "" : " ") + words[pick(random)];
            }
            if (s == sessionCount / 2 && l == 100) {
                text += " and the Café downstairs";
            }
            record.lines.push_back(
                {core::Uuid::random(), text, begin + 3.0 * l,
                 l % 2 ? core::SpeechSource::microphone : core::SpeechSource::systemAudio,
                 "en-US"});
        }
        record.lastUpdated = begin + 3.0 * linesPerSession;
        record.endedAt = record.lastUpdated;
        store.save(record);
    }
}

// Runs the event loop until the condition holds; the milliseconds it took.
double waitFor(const std::function<bool()>& condition) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        if (timer.elapsed() > 600'000) {
            throw std::runtime_error("timed out");
        }
    }
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ambrel::testing::TemporaryFolder folder;
    std::cout << fmt::format("Writing {} sessions of {} lines…\n", sessionCount, linesPerSession)
              << std::flush;
    makeFolder(folder.path());

    QtScheduler scheduler;
    AppSettings settings(std::make_shared<core::MemorySettingsStore>());
    HistoryModel model(folder.path(), [] { return std::optional<core::SessionRecord>(); },
                       scheduler, {});
    HistoryWindow window(model, settings);
    QElapsedTimer opening;
    opening.start();
    window.open();
    waitFor([&] { return window.listModel().rowCount() == sessionCount; });
    std::cout << fmt::format("window opened to a list of {} sessions: {:.0f} ms\n", sessionCount,
                             static_cast<double>(opening.nsecsElapsed()) / 1e6);

    const auto search = [&](const std::string& query) {
        model.setSearchText(query);
        model.runSearch(false); // no typing pause to wait for
        return waitFor([&] { return model.activeQuery() == query; });
    };
    std::cout << fmt::format("first search (reads every record): {:.0f} ms\n", search("cafe"));
    std::cout << fmt::format("  found {} session(s)\n", model.searchMatches()->size());
    for (const char* query : {"budget plan", "ＲＥＶＩＥＷ", "nothing like this"}) {
        std::cout << fmt::format("warm search \"{}\": {:.0f} ms\n", query, search(query));
    }

    // The same searches without a window: what the library itself takes.
    HistoryModel bare(folder.path(), [] { return std::optional<core::SessionRecord>(); }, scheduler,
                      {});
    bare.activate();
    waitFor([&] { return bare.sessions().size() == sessionCount; });
    const auto bareSearch = [&](const std::string& query) {
        bare.setSearchText(query);
        bare.runSearch(false);
        return waitFor([&] { return bare.activeQuery() == query; });
    };
    bareSearch("warm up");
    for (const char* query : {"budget plan", "nothing like this"}) {
        std::cout << fmt::format("  of which the library \"{}\": {:.0f} ms\n", query,
                                 bareSearch(query));
    }

    {
        core::SessionLibrary library{core::SessionStore(folder.path())};
        const auto summaries = library.list();
        library.sessionIDs("warm", summaries);
        for (const char* query : {"budget plan", "nothing like this", "budget"}) {
            QElapsedTimer direct;
            direct.start();
            const auto found = library.sessionIDs(query, summaries);
            std::cout << fmt::format("  direct \"{}\": {:.0f} ms, {} found\n", query,
                                     static_cast<double>(direct.nsecsElapsed()) / 1e6,
                                     found.size());
        }
    }

    // The same question asked of a primary-strength collator, for comparison.
    std::string all;
    for (int i = 0; i < 200 * 50; ++i) {
        all += "budget meeting quarter release customer report travel office project ";
    }
    const auto text = icu::UnicodeString::fromUTF8(all);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> collator(
        icu::Collator::createInstance(icu::Locale::getRoot(), status));
    collator->setStrength(icu::Collator::PRIMARY);
    icu::StringSearch finder(icu::UnicodeString::fromUTF8("cafe"), text,
                             static_cast<icu::RuleBasedCollator*>(collator.get()), nullptr, status);
    QElapsedTimer timer;
    timer.start();
    const auto found = finder.first(status);
    const double collatorMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    timer.restart();
    const core::TextMatcher matcher("cafe");
    const bool folded = matcher.foundIn(core::TextMatcher::fold(all));
    const double foldMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    std::cout << fmt::format(
        "{:.1f} MB without a match: collator search {:.0f} ms, folding and scanning {:.0f} ms "
        "({} {})\n",
        static_cast<double>(all.size()) / 1e6, collatorMs, foldMs, found, folded);
    return 0;
}
