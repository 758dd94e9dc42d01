#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace ambrel::testing {

// An HTTPS server on 127.0.0.1 (a free port) with a certificate made for it, whose file a client
// must trust. Each path answers with a document or a redirect; others get 404. Connections are
// served one after another; the destructor ends the server.
class TlsServer {
public:
    TlsServer();
    ~TlsServer();
    TlsServer(const TlsServer&) = delete;
    TlsServer& operator=(const TlsServer&) = delete;

    void document(const std::string& path, std::string body);
    void redirect(const std::string& path, std::string location);

    std::string url(const std::string& path) const;
    // The server's certificate (PEM), to be trusted as an authority.
    const std::filesystem::path& certificate() const { return certificate_; }
    std::size_t requestCount(const std::string& path) const;

private:
    struct Answer {
        int status;
        std::string body; // for a redirect, the location
    };

    void serve();
    void answer(int connection);

    std::filesystem::path folder_;
    std::filesystem::path certificate_;
    void* context_ = nullptr; // SSL_CTX
    int listener_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;

    mutable std::mutex mutex_;
    std::map<std::string, Answer> answers_;
    std::map<std::string, std::size_t> requests_;
};

} // namespace ambrel::testing
