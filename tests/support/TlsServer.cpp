#include "TlsServer.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace ambrel::testing {

namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Certificate = std::unique_ptr<X509, decltype(&X509_free)>;

[[noreturn]] void fail(const char* what) {
    throw std::runtime_error(std::string("test TLS server: ") + what);
}

// A self-signed certificate for 127.0.0.1, valid for a day.
Certificate makeCertificate(EVP_PKEY* key) {
    Certificate certificate(X509_new(), X509_free);
    X509* x509 = certificate.get();
    X509_set_version(x509, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x509), 1);
    X509_gmtime_adj(X509_getm_notBefore(x509), -3600);
    X509_gmtime_adj(X509_getm_notAfter(x509), 24 * 3600);
    X509_set_pubkey(x509, key);
    X509_NAME* name = X509_get_subject_name(x509);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(x509, name);
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, x509, x509, nullptr, nullptr, 0);
    X509_EXTENSION* names =
        X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, "IP:127.0.0.1");
    if (names == nullptr || X509_add_ext(x509, names, -1) != 1) {
        fail("cannot name the certificate");
    }
    X509_EXTENSION_free(names);
    if (X509_sign(x509, key, EVP_sha256()) == 0) {
        fail("cannot sign the certificate");
    }
    return certificate;
}

const char* reason(int status) {
    return status == 200 ? "OK" : status == 302 ? "Found" : "Not Found";
}

} // namespace

TlsServer::TlsServer() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ambrel-tls-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        fail("cannot create a folder");
    }
    folder_ = pattern;
    certificate_ = folder_ / "certificate.pem";

    const Key key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"), EVP_PKEY_free);
    if (!key) {
        fail("cannot make a key");
    }
    const Certificate certificate = makeCertificate(key.get());
    std::FILE* file = std::fopen(certificate_.c_str(), "w");
    if (file == nullptr || PEM_write_X509(file, certificate.get()) != 1) {
        fail("cannot write the certificate");
    }
    std::fclose(file);

    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    context_ = context;
    if (context == nullptr || SSL_CTX_use_certificate(context, certificate.get()) != 1 ||
        SSL_CTX_use_PrivateKey(context, key.get()) != 1) {
        fail("cannot set up TLS");
    }

    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        fail("cannot create a pipe");
    }
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 ||
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        fail("cannot listen");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

TlsServer::~TlsServer() {
    [[maybe_unused]] const auto written = ::write(wakeWrite_, "x", 1);
    if (thread_.joinable()) {
        thread_.join();
    }
    ::close(listener_);
    ::close(wakeRead_);
    ::close(wakeWrite_);
    SSL_CTX_free(static_cast<SSL_CTX*>(context_));
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

void TlsServer::document(const std::string& path, std::string body) {
    const std::lock_guard lock(mutex_);
    answers_[path] = {200, std::move(body)};
}

void TlsServer::redirect(const std::string& path, std::string location) {
    const std::lock_guard lock(mutex_);
    answers_[path] = {302, std::move(location)};
}

std::string TlsServer::url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(port_) + path;
}

std::size_t TlsServer::requestCount(const std::string& path) const {
    const std::lock_guard lock(mutex_);
    const auto found = requests_.find(path);
    return found == requests_.end() ? 0 : found->second;
}

void TlsServer::serve() {
    while (true) {
        pollfd waits[2] = {{listener_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0 || (waits[1].revents & POLLIN) != 0) {
            return;
        }
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) {
            continue;
        }
        // A client that stops talking cannot hold the server up for long.
        const timeval limit{5, 0};
        ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        ::setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        answer(connection);
        ::close(connection);
    }
}

void TlsServer::answer(int connection) {
    SSL* ssl = SSL_new(static_cast<SSL_CTX*>(context_));
    SSL_set_fd(ssl, connection);
    if (SSL_accept(ssl) == 1) {
        std::string head;
        char buffer[4096];
        while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
            const int count = SSL_read(ssl, buffer, sizeof buffer);
            if (count <= 0) {
                break;
            }
            head.append(buffer, static_cast<std::size_t>(count));
        }
        const auto start = head.find(' ');
        const auto end = head.find_first_of(" ?", start + 1);
        if (start != std::string::npos && end != std::string::npos) {
            const std::string path = head.substr(start + 1, end - start - 1);
            Answer answer{404, ""};
            {
                const std::lock_guard lock(mutex_);
                ++requests_[path];
                if (const auto found = answers_.find(path); found != answers_.end()) {
                    answer = found->second;
                }
            }
            const bool moved = answer.status == 302;
            std::string response = "HTTP/1.1 " + std::to_string(answer.status) + " " +
                                   reason(answer.status) + "\r\nConnection: close\r\n";
            if (moved) {
                response += "Location: " + answer.body + "\r\nContent-Length: 0\r\n\r\n";
            } else {
                response += "Content-Length: " + std::to_string(answer.body.size()) + "\r\n\r\n" +
                            answer.body;
            }
            SSL_write(ssl, response.data(), static_cast<int>(response.size()));
            SSL_shutdown(ssl);
        }
    }
    SSL_free(ssl);
    ERR_clear_error();
}

} // namespace ambrel::testing
