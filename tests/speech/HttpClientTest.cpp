#include "speech/HttpClient.h"

#include "HttpServer.h"
#include "TemporaryFolder.h"
#include "TlsServer.h"
#include "speech/ContentRange.h"
#include "speech/HttpError.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace ambrel;
using namespace ambrel::testing;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Route = HttpServer::Route;

namespace {

std::string payload(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t state = 12345;
    for (auto& byte : bytes) {
        state = state * 1103515245 + 12345;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

class HttpClientTest : public ::testing::Test {
protected:
    HttpServer server;
    TemporaryFolder folder;
    std::filesystem::path file = folder / "download.part";
    std::vector<std::pair<std::uint64_t, std::optional<std::uint64_t>>> reports;
    const std::string body = payload(200'000);

    HttpClient::Progress record() {
        return [this](std::uint64_t received, std::optional<std::uint64_t> total) {
            reports.emplace_back(received, total);
            return true;
        };
    }

    void serve(Route route = {}) {
        route.body = body;
        server.route("/model.zip", std::move(route));
    }

    void download(const HttpClient& client = HttpClient()) {
        client.download(server.url("/model.zip"), file, record());
    }

    std::string contents() const { return folder.read("download.part"); }

    HttpError downloadFailure(const HttpClient& client = HttpClient()) {
        try {
            download(client);
        } catch (const HttpError& error) {
            return error;
        }
        ADD_FAILURE() << "the download succeeded";
        return HttpError("none");
    }

    HttpError fetchFailure(const std::string& path, std::size_t limit = 1000) {
        try {
            HttpClient().fetch(server.url(path), limit, 10);
        } catch (const HttpError& error) {
            return error;
        }
        ADD_FAILURE() << "fetching " << path << " succeeded";
        return HttpError("none");
    }
};

TEST_F(HttpClientTest, FetchReturnsTheDocumentAfterRedirects) {
    server.route("/catalogue.json", Route(R"([{"lang": "en-us"}])"));
    server.route("/latest", Route::redirect("/catalogue.json"));

    EXPECT_EQ(HttpClient().fetch(server.url("/latest"), 1000, 10), R"([{"lang": "en-us"}])");
    EXPECT_EQ(server.requestCount("/catalogue.json"), 1u);
}

TEST_F(HttpClientTest, FetchKeepsToItsSizeLimit) {
    server.route("/announced", Route(std::string(101, 'a')));
    server.route("/unannounced", Route(std::string(101, 'a')).withoutLength());
    server.route("/exact", Route(std::string(100, 'a')).withoutLength());

    for (const std::string path : {"/announced", "/unannounced"}) {
        SCOPED_TRACE(path);
        const auto error = fetchFailure(path, 100);
        EXPECT_EQ(error.kind(), HttpError::Kind::tooLarge);
        EXPECT_STREQ(error.what(), "larger than 100 bytes");
    }
    EXPECT_EQ(HttpClient().fetch(server.url("/exact"), 100, 10).size(), 100u);
}

TEST_F(HttpClientTest, FetchReportsFailures) {
    server.route("/broken", Route("oops", 500));
    server.route("/elsewhere", Route::redirect("file:///etc/passwd"));
    server.route("/slow", Route("late").inChunks(1, 30s));

    const auto missing = fetchFailure("/missing");
    EXPECT_EQ(missing.kind(), HttpError::Kind::status);
    EXPECT_EQ(missing.status(), 404);
    EXPECT_STREQ(missing.what(), "HTTP error 404");
    EXPECT_EQ(fetchFailure("/broken").status(), 500);
    // Redirects may lead to HTTP and HTTPS only.
    EXPECT_EQ(fetchFailure("/elsewhere").kind(), HttpError::Kind::transfer);

    const auto start = Clock::now();
    EXPECT_THROW(HttpClient().fetch(server.url("/slow"), 1000, 0.3), HttpError);
    EXPECT_LT(Clock::now() - start, 10s);
}

TEST_F(HttpClientTest, RedirectsNeverLeadFromHttpsToPlainHttp) {
    TlsServer secure;
    const HttpClient client(30s, secure.certificate());
    server.route("/catalogue.json", Route(R"([])"));
    serve();
    secure.document("/catalogue.json", R"(["secure"])");
    secure.redirect("/latest", secure.url("/catalogue.json"));
    secure.redirect("/downgraded", server.url("/catalogue.json"));
    secure.redirect("/downgraded.zip", server.url("/model.zip"));

    EXPECT_EQ(client.fetch(secure.url("/latest"), 1000, 10), R"(["secure"])");
    EXPECT_THROW(client.fetch(secure.url("/downgraded"), 1000, 10), HttpError);
    EXPECT_THROW(client.download(secure.url("/downgraded.zip"), file, record()), HttpError);
    EXPECT_EQ(secure.requestCount("/downgraded"), 1u);
    EXPECT_EQ(server.requestCount("/catalogue.json"), 0u);
    EXPECT_EQ(server.requestCount("/model.zip"), 0u);
    EXPECT_EQ(contents(), "");
}

TEST_F(HttpClientTest, FetchReportsAnUnreachableServer) {
    std::string url;
    {
        HttpServer gone;
        url = gone.url("/catalogue.json");
    }
    try {
        HttpClient().fetch(url, 1000, 10);
        ADD_FAILURE() << "fetching from a closed port succeeded";
    } catch (const HttpError& error) {
        EXPECT_EQ(error.kind(), HttpError::Kind::transfer);
        EXPECT_NE(std::string(error.what()), "");
    }
}

TEST_F(HttpClientTest, DownloadWritesTheFileAndReportsProgress) {
    serve(Route().inChunks(8192));

    download();

    EXPECT_EQ(contents(), body);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back(),
              std::pair(std::uint64_t{body.size()}, std::optional(std::uint64_t{body.size()})));
    for (std::size_t i = 1; i < reports.size(); ++i) {
        EXPECT_LE(reports[i - 1].first, reports[i].first);
    }
    EXPECT_EQ(server.requests("/model.zip").at(0).header("range"), "");
}

TEST_F(HttpClientTest, DownloadContinuesWhereTheFileEnds) {
    serve();
    folder.write("download.part", body.substr(0, 70'000));

    download();

    EXPECT_EQ(contents(), body);
    ASSERT_EQ(server.requestCount("/model.zip"), 1u);
    EXPECT_EQ(server.requests("/model.zip")[0].header("range"), "bytes=70000-");
    EXPECT_EQ(reports.back().second, body.size());
}

TEST_F(HttpClientTest, DownloadFollowsRedirectsWithTheRange) {
    serve();
    server.route("/latest", Route::redirect("/model.zip"));
    folder.write("download.part", body.substr(0, 1000));

    HttpClient().download(server.url("/latest"), file, record());

    EXPECT_EQ(contents(), body);
    EXPECT_EQ(server.requests("/model.zip").at(0).header("range"), "bytes=1000-");
}

TEST_F(HttpClientTest, DownloadStartsOverWhenTheFileCannotBeContinued) {
    struct Case {
        const char* name;
        bool ranges;
        std::string present;
        std::size_t requests;
    };
    const std::vector<Case> cases = {
        {"server ignores ranges", false, std::string(1000, 'x'), 1},
        {"file longer than the server's", true, body + "trailing", 2},
    };
    for (const auto& [name, ranges, present, requests] : cases) {
        SCOPED_TRACE(name);
        HttpServer fresh;
        fresh.route("/model.zip", ranges ? Route(body) : Route(body).withoutRanges());
        folder.write("download.part", present);

        HttpClient().download(fresh.url("/model.zip"), file, record());

        EXPECT_EQ(contents(), body);
        EXPECT_EQ(fresh.requestCount("/model.zip"), requests);
        EXPECT_EQ(fresh.requests("/model.zip").back().header("range"),
                  requests == 1 ? "bytes=1000-" : "");
    }
}

TEST_F(HttpClientTest, DownloadOfACompleteFileAsksOnceAndKeepsIt) {
    serve();
    folder.write("download.part", body);

    download();

    EXPECT_EQ(contents(), body);
    EXPECT_EQ(server.requestCount("/model.zip"), 1u);
    EXPECT_EQ(reports.back().first, body.size());
}

TEST_F(HttpClientTest, DownloadFailsOnErrorsWithoutWritingTheErrorPage) {
    server.route("/model.zip", Route("<html>gone</html>", 410));
    folder.write("download.part", "first part");

    const auto error = downloadFailure();

    EXPECT_EQ(error.status(), 410);
    EXPECT_EQ(contents(), "first part");
}

TEST_F(HttpClientTest, DownloadFailsOnShortAnswers) {
    serve(Route().cutAfter(5000));
    EXPECT_EQ(downloadFailure().kind(), HttpError::Kind::transfer);
    EXPECT_EQ(contents(), body.substr(0, 5000));

    std::filesystem::remove(file);
    serve(Route().announcing(body.size() + 100));
    EXPECT_EQ(downloadFailure().kind(), HttpError::Kind::transfer);
}

TEST_F(HttpClientTest, DownloadStopsAsSoonAsItPassesItsLimit) {
    const std::string large = payload(4'000'000);
    struct Case {
        const char* name;
        Route route;
        std::string present;
    };
    const std::vector<Case> cases = {
        {"no length told", Route(large).withoutLength().inChunks(16 * 1024), ""},
        {"a larger length told", Route(large), ""},
        {"a larger whole told when continuing", Route(large), large.substr(0, 500)},
        {"a file already too long", Route(large).withoutLength(), large.substr(0, 2000)},
    };
    for (const auto& [name, route, present] : cases) {
        SCOPED_TRACE(name);
        server.route("/model.zip", route);
        folder.write("download.part", present);
        try {
            HttpClient().download(server.url("/model.zip"), file, record(), 1000);
            ADD_FAILURE() << "the download succeeded";
        } catch (const HttpError& error) {
            EXPECT_EQ(error.kind(), HttpError::Kind::tooLarge);
            EXPECT_STREQ(error.what(), "larger than 1000 bytes");
        }
        EXPECT_LE(contents().size(), 1000u);
    }

    // Up to the limit is fine.
    server.route("/model.zip", Route(large.substr(0, 1000)).withoutLength());
    folder.write("download.part", "");
    HttpClient().download(server.url("/model.zip"), file, record(), 1000);
    EXPECT_EQ(contents(), large.substr(0, 1000));
}

TEST(ContentRange, ReadsWellFormedRangesOnly) {
    using Range = ContentRange;
    EXPECT_EQ(Range::parse("bytes 100-199/500"), (Range{100, 199, 500}));
    EXPECT_EQ(Range::parse("Bytes 0-0/1"), (Range{0, 0, 1}));
    EXPECT_EQ(Range::parse(" bytes 100-199/* "), (Range{100, 199, std::nullopt}));
    EXPECT_EQ(Range::parse("bytes */500"), (Range{std::nullopt, std::nullopt, 500}));
    EXPECT_EQ(Range::parse("bytes 0-18446744073709551614/18446744073709551615"),
              (Range{0, 18446744073709551614u, 18446744073709551615u}));
    for (const char* broken :
         {"", "bytes", "bytes ", "bytes */*", "bytes 5-4/10", "bytes 0-10/10", "bytes 1-/10",
          "bytes -5/10", "bytes 1-2", "bytes=1-2/3", "items 1-2/3", "bytes +1-2/3", "bytes 1 -2/3",
          "bytes 0-18446744073709551616/*", "bytes 1-2/3/4", "bytes 1-2-3/4", "bytes 0x1-2/3"}) {
        EXPECT_FALSE(Range::parse(broken)) << broken;
    }
}

TEST_F(HttpClientTest, DownloadFailsWhenTheServerStalls) {
    serve(Route().inChunks(1000, 60s));
    const auto start = Clock::now();

    const auto error = downloadFailure(HttpClient(1s));

    EXPECT_STREQ(error.what(), "no data from the server for 1 second");
    EXPECT_LT(Clock::now() - start, 20s);
}

TEST_F(HttpClientTest, DownloadReportsProgressTwiceASecondAndStopsWhenCancelled) {
    // Data every 150 ms, then nothing at all: reports keep coming either way.
    server.route("/model.zip", Route(body.substr(0, 100'000)).inChunks(20'000, 150ms));
    std::vector<Clock::time_point> times;
    const auto collect = [&](std::uint64_t, std::optional<std::uint64_t>) {
        times.push_back(Clock::now());
        return true;
    };
    HttpClient().download(server.url("/model.zip"), file, collect);
    EXPECT_EQ(contents(), body.substr(0, 100'000));

    std::filesystem::remove(file);
    serve(Route().inChunks(1000, 60s));
    const auto start = Clock::now();
    const auto stopAfterASecond = [&](std::uint64_t, std::optional<std::uint64_t>) {
        times.push_back(Clock::now());
        return Clock::now() - start < 1s;
    };
    try {
        HttpClient().download(server.url("/model.zip"), file, stopAfterASecond);
        ADD_FAILURE() << "the download was not cancelled";
    } catch (const HttpError& error) {
        EXPECT_EQ(error.kind(), HttpError::Kind::cancelled);
    }
    EXPECT_LT(Clock::now() - start, 5s);

    ASSERT_GE(times.size(), 8u);
    for (std::size_t i = 1; i < times.size(); ++i) {
        if (times[i] < start || times[i - 1] >= start) {
            EXPECT_LE(times[i] - times[i - 1], 500ms)
                << "between reports " << i - 1 << " and " << i;
        }
    }
}

} // namespace
