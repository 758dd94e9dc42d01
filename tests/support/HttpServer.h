#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace ambrel::testing {

// An HTTP/1.1 server on 127.0.0.1 (a free port) answering from routes the test registers, with
// switches for misbehaving. Each connection runs on a thread of its own; the destructor ends
// them all, also in the middle of a slow answer.
class HttpServer {
public:
    // What one path answers; the setters chain: Route(body).withoutRanges().cutAfter(100).
    struct Route {
        std::string body;
        int status = 200;
        std::vector<std::pair<std::string, std::string>> headers; // sent as well
        bool ranges = true; // answers "Range: bytes=a-b" with 206 (or 416 beyond the end)
        std::optional<std::size_t> contentLength; // announced instead of the real length
        bool announceLength = true;        // without, the body ends when the connection closes
        std::optional<std::size_t> cutOff; // closes after this many bytes of body
        std::size_t chunkSize = 16 * 1024;
        std::chrono::milliseconds chunkDelay{0}; // before every chunk of the body
        std::optional<std::string> location;     // a path here or a URL

        Route() = default;
        explicit Route(std::string body, int status = 200)
            : body(std::move(body))
            , status(status) {}
        static Route redirect(std::string location, int status = 302);

        Route& header(std::string name, std::string value);
        Route& withoutRanges();
        Route& announcing(std::size_t length);
        Route& withoutLength();
        Route& cutAfter(std::size_t bytes);
        Route& inChunks(std::size_t size, std::chrono::milliseconds delay = {});
    };

    struct Request {
        std::string method;
        std::string path;                           // without the query
        std::string target;                         // as sent
        std::map<std::string, std::string> headers; // names in lower case
        std::string body;

        // The header's value, empty when absent.
        std::string header(const std::string& name) const;
    };

    HttpServer();
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Adds or replaces the answer for `path`; other paths get 404.
    void route(const std::string& path, Route route);
    std::string url(const std::string& path) const;
    std::uint16_t port() const { return port_; }

    std::vector<Request> requests() const;
    std::vector<Request> requests(const std::string& path) const;
    std::size_t requestCount(const std::string& path) const;

private:
    void acceptConnections();
    void serve(int connection);
    bool answer(int connection, const Request& request);
    bool send(int connection, const char* data, std::size_t size) const;
    // Waits for `delay` unless the server stops first; false then.
    bool pause(std::chrono::milliseconds delay) const;
    void reapFinished();

    int listener_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::uint16_t port_ = 0;
    std::thread acceptor_;

    mutable std::mutex mutex_;
    std::map<std::string, Route> routes_;
    std::vector<Request> requests_;
    std::map<std::uint64_t, std::thread> workers_;
    std::vector<std::uint64_t> finished_;
    std::uint64_t nextWorker_ = 0;
};

} // namespace ambrel::testing
