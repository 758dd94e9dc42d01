#include "HttpServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

namespace ambrel::testing {

namespace {

constexpr std::size_t maximumHeadBytes = 64 * 1024;

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<std::size_t> number(std::string_view text) {
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

const char* reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 206:
        return "Partial Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 307:
        return "Temporary Redirect";
    case 404:
        return "Not Found";
    case 416:
        return "Range Not Satisfiable";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

// "bytes=a-" or "bytes=a-b": the first and (when given) last byte asked for.
std::optional<std::pair<std::size_t, std::optional<std::size_t>>> byteRange(std::string_view text) {
    if (!text.starts_with("bytes=") || text.find(',') != std::string_view::npos) {
        return std::nullopt;
    }
    text.remove_prefix(6);
    const auto dash = text.find('-');
    if (dash == std::string_view::npos) {
        return std::nullopt;
    }
    const auto first = number(text.substr(0, dash));
    const auto last = text.substr(dash + 1);
    if (!first || (!last.empty() && (!number(last) || *number(last) < *first))) {
        return std::nullopt;
    }
    return std::pair(*first, last.empty() ? std::nullopt : number(last));
}

} // namespace

HttpServer::Route HttpServer::Route::redirect(std::string location, int status) {
    Route route({}, status);
    route.location = std::move(location);
    return route;
}

HttpServer::Route& HttpServer::Route::header(std::string name, std::string value) {
    headers.emplace_back(std::move(name), std::move(value));
    return *this;
}

HttpServer::Route& HttpServer::Route::withoutRanges() {
    ranges = false;
    return *this;
}

HttpServer::Route& HttpServer::Route::announcing(std::size_t length) {
    contentLength = length;
    return *this;
}

HttpServer::Route& HttpServer::Route::withoutLength() {
    announceLength = false;
    return *this;
}

HttpServer::Route& HttpServer::Route::cutAfter(std::size_t bytes) {
    cutOff = bytes;
    return *this;
}

HttpServer::Route& HttpServer::Route::inChunks(std::size_t size, std::chrono::milliseconds delay) {
    chunkSize = std::max<std::size_t>(size, 1);
    chunkDelay = delay;
    return *this;
}

std::string HttpServer::Request::header(const std::string& name) const {
    const auto found = headers.find(lowered(name));
    return found == headers.end() ? std::string() : found->second;
}

HttpServer::HttpServer() {
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::runtime_error("cannot create a pipe for the test server");
    }
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (listener_ < 0 ||
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(wakeRead_);
        ::close(wakeWrite_);
        if (listener_ >= 0) {
            ::close(listener_);
        }
        throw std::runtime_error("cannot start the test server");
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptConnections(); });
}

HttpServer::~HttpServer() {
    // The pipe stays readable once written, so every waiting thread sees it.
    [[maybe_unused]] const auto written = ::write(wakeWrite_, "x", 1);
    acceptor_.join();
    std::map<std::uint64_t, std::thread> workers;
    {
        const std::lock_guard lock(mutex_);
        workers.swap(workers_);
    }
    for (auto& [id, worker] : workers) {
        worker.join();
    }
    ::close(listener_);
    ::close(wakeRead_);
    ::close(wakeWrite_);
}

void HttpServer::route(const std::string& path, Route route) {
    const std::lock_guard lock(mutex_);
    routes_[path] = std::move(route);
}

std::string HttpServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<HttpServer::Request> HttpServer::requests() const {
    const std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<HttpServer::Request> HttpServer::requests(const std::string& path) const {
    const std::lock_guard lock(mutex_);
    std::vector<Request> matching;
    std::copy_if(requests_.begin(), requests_.end(), std::back_inserter(matching),
                 [&](const Request& request) { return request.path == path; });
    return matching;
}

std::size_t HttpServer::requestCount(const std::string& path) const {
    return requests(path).size();
}

void HttpServer::acceptConnections() {
    while (true) {
        reapFinished();
        pollfd watched[] = {{listener_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        if (::poll(watched, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (watched[1].revents != 0) {
            return;
        }
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) {
            continue;
        }
        // Created under the lock so that the worker cannot report itself finished before it
        // is known.
        const std::lock_guard lock(mutex_);
        const auto id = nextWorker_++;
        workers_.emplace(id, std::thread([this, connection, id] {
                             serve(connection);
                             ::close(connection);
                             const std::lock_guard done(mutex_);
                             finished_.push_back(id);
                         }));
    }
}

void HttpServer::reapFinished() {
    std::vector<std::thread> done;
    {
        const std::lock_guard lock(mutex_);
        for (const auto id : finished_) {
            done.push_back(std::move(workers_.at(id)));
            workers_.erase(id);
        }
        finished_.clear();
    }
    for (auto& worker : done) {
        worker.join();
    }
}

void HttpServer::serve(int connection) {
    std::string pending;
    const auto receive = [&] {
        while (true) {
            pollfd watched[] = {{connection, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
            if (::poll(watched, 2, -1) < 0 && errno != EINTR) {
                return false;
            }
            if (watched[1].revents != 0) {
                return false;
            }
            char buffer[4096];
            const auto count = ::recv(connection, buffer, sizeof buffer, MSG_DONTWAIT);
            if (count > 0) {
                pending.append(buffer, static_cast<std::size_t>(count));
                return true;
            }
            if (count == 0 || (errno != EAGAIN && errno != EINTR)) {
                return false;
            }
        }
    };
    while (true) {
        auto end = pending.find("\r\n\r\n");
        while (end == std::string::npos) {
            if (pending.size() > maximumHeadBytes || !receive()) {
                return;
            }
            end = pending.find("\r\n\r\n");
        }
        Request request;
        std::string_view head(pending.data(), end);
        const auto lineEnd = head.find("\r\n");
        const auto requestLine = head.substr(0, lineEnd);
        const auto firstSpace = requestLine.find(' ');
        const auto secondSpace = requestLine.find(' ', firstSpace + 1);
        if (firstSpace == std::string_view::npos || secondSpace == std::string_view::npos) {
            return;
        }
        request.method = requestLine.substr(0, firstSpace);
        request.target = requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1);
        request.path = request.target.substr(0, request.target.find('?'));
        auto rest =
            lineEnd == std::string_view::npos ? std::string_view() : head.substr(lineEnd + 2);
        while (!rest.empty()) {
            const auto next = rest.find("\r\n");
            const auto line = rest.substr(0, next);
            const auto colon = line.find(':');
            if (colon != std::string_view::npos) {
                request.headers[lowered(std::string(trimmed(line.substr(0, colon))))] =
                    trimmed(line.substr(colon + 1));
            }
            rest = next == std::string_view::npos ? std::string_view() : rest.substr(next + 2);
        }
        pending.erase(0, end + 4);
        const auto bodyLength = number(request.header("content-length")).value_or(0);
        while (pending.size() < bodyLength) {
            if (!receive()) {
                return;
            }
        }
        request.body = pending.substr(0, bodyLength);
        pending.erase(0, bodyLength);
        {
            const std::lock_guard lock(mutex_);
            requests_.push_back(request);
        }
        if (!answer(connection, request)) {
            return;
        }
    }
}

bool HttpServer::answer(int connection, const Request& request) {
    Route route;
    {
        const std::lock_guard lock(mutex_);
        const auto found = routes_.find(request.path);
        if (found != routes_.end()) {
            route = found->second;
        } else {
            route = Route("not found", 404);
        }
    }
    auto headers = route.headers;
    int status = route.status;
    std::string body = std::move(route.body);
    if (route.location) {
        headers.emplace_back("Location", route.location->starts_with("/") ? url(*route.location)
                                                                          : *route.location);
    }
    if (route.ranges && status == 200) {
        headers.emplace_back("Accept-Ranges", "bytes");
        if (const auto range = byteRange(request.header("range"))) {
            const auto size = body.size();
            if (range->first >= size) {
                status = 416;
                headers.emplace_back("Content-Range", "bytes */" + std::to_string(size));
                body.clear();
            } else {
                const auto last = std::min(range->second.value_or(size - 1), size - 1);
                status = 206;
                headers.emplace_back("Content-Range", "bytes " + std::to_string(range->first) +
                                                          "-" + std::to_string(last) + "/" +
                                                          std::to_string(size));
                body = body.substr(range->first, last - range->first + 1);
            }
        }
    }
    // After a wrong length or a cut the client cannot find the next answer's start.
    const bool keepOpen = lowered(request.header("connection")) != "close" &&
                          !route.contentLength && !route.cutOff && route.announceLength;
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + reason(status) + "\r\n";
    if (route.announceLength) {
        head +=
            "Content-Length: " + std::to_string(route.contentLength.value_or(body.size())) + "\r\n";
    }
    head += keepOpen ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
    for (const auto& [name, value] : headers) {
        head += name + ": " + value + "\r\n";
    }
    head += "\r\n";
    if (!send(connection, head.data(), head.size())) {
        return false;
    }
    if (request.method == "HEAD") {
        return keepOpen;
    }
    const auto sending = std::min(body.size(), route.cutOff.value_or(body.size()));
    for (std::size_t sent = 0; sent < sending;) {
        if (route.chunkDelay.count() > 0 && !pause(route.chunkDelay)) {
            return false;
        }
        const auto chunk = std::min(std::max<std::size_t>(route.chunkSize, 1), sending - sent);
        if (!send(connection, body.data() + sent, chunk)) {
            return false;
        }
        sent += chunk;
    }
    return keepOpen;
}

bool HttpServer::send(int connection, const char* data, std::size_t size) const {
    while (size > 0) {
        pollfd watched[] = {{connection, POLLOUT, 0}, {wakeRead_, POLLIN, 0}};
        if (::poll(watched, 2, -1) < 0 && errno != EINTR) {
            return false;
        }
        if (watched[1].revents != 0) {
            return false;
        }
        const auto count = ::send(connection, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (count < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                continue;
            }
            return false;
        }
        data += count;
        size -= static_cast<std::size_t>(count);
    }
    return true;
}

bool HttpServer::pause(std::chrono::milliseconds delay) const {
    pollfd watched{wakeRead_, POLLIN, 0};
    const auto until = std::chrono::steady_clock::now() + delay;
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return true;
        }
        const int ready = ::poll(&watched, 1, static_cast<int>(left.count()));
        if (ready > 0) {
            return false;
        }
        if (ready < 0 && errno != EINTR) {
            return false;
        }
    }
}

} // namespace ambrel::testing
