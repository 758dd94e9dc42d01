#include "HttpClient.h"

#include "ContentRange.h"
#include "HttpError.h"

#include <curl/curl.h>
#include <fmt/format.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string_view>
#include <unistd.h>
#include <utility>

#ifndef AMBREL_USER_AGENT
#define AMBREL_USER_AGENT "Ambrel"
#endif

namespace ambrel {

namespace {

using Easy = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;
using File = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

constexpr auto tickInterval = std::chrono::milliseconds(100);

bool isHttps(const std::string& url) {
    constexpr std::string_view scheme = "https://";
    return url.size() >= scheme.size() &&
           std::equal(scheme.begin(), scheme.end(), url.begin(), [](char a, char b) {
               return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b + 32) : b);
           });
}

Easy makeEasy(const std::string& url, std::chrono::seconds stallLimit,
              const std::filesystem::path& authorities, char* errorBuffer) {
    static std::once_flag once;
    std::call_once(once, [] {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
            throw HttpError("the transfer library could not start");
        }
    });
    Easy easy(curl_easy_init(), curl_easy_cleanup);
    if (!easy) {
        throw HttpError("the transfer library could not start");
    }
    CURL* handle = easy.get();
    errorBuffer[0] = '\0';
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    // Worker threads must not get SIGALRM from name lookups.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    // What starts encrypted stays so: a redirect must not hand the transfer to plain HTTP.
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, isHttps(url) ? "https" : "http,https");
    if (!authorities.empty()) {
        curl_easy_setopt(handle, CURLOPT_CAINFO, authorities.c_str());
    }
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, static_cast<long>(stallLimit.count()));
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, static_cast<long>(stallLimit.count()));
    curl_easy_setopt(handle, CURLOPT_USERAGENT, AMBREL_USER_AGENT);
    return easy;
}

long responseCode(CURL* easy) {
    long code = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
    return code;
}

HttpError tooLargeError(std::uint64_t limit) {
    return HttpError("larger than " + std::to_string(limit) + " bytes", HttpError::Kind::tooLarge);
}

HttpError statusError(long code) {
    return HttpError("HTTP error " + std::to_string(code), HttpError::Kind::status, code);
}

HttpError transferError(CURLcode code, const char* errorBuffer, std::chrono::seconds stallLimit) {
    if (code == CURLE_OPERATION_TIMEDOUT) {
        return HttpError(fmt::format("no data from the server for {} second{}", stallLimit.count(),
                                     stallLimit.count() == 1 ? "" : "s"));
    }
    return HttpError(errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(code));
}

std::optional<ContentRange> contentRange(CURL* easy) {
    curl_header* header = nullptr;
    if (curl_easy_header(easy, "Content-Range", 0, CURLH_HEADER, -1, &header) != CURLHE_OK) {
        return std::nullopt;
    }
    return ContentRange::parse(header->value);
}

// One response of a download being written into the file.
struct Transfer {
    CURL* easy = nullptr;
    std::FILE* file = nullptr;
    std::uint64_t offset = 0; // bytes the file had when asking
    std::uint64_t received = 0;
    std::optional<std::uint64_t> total;
    std::optional<std::uint64_t> limit;
    enum class Body { undecided, write, discard } body = Body::undecided;
    bool restart = false;
    std::optional<HttpError> failure;

    bool truncate() {
        if (std::fflush(file) != 0 || ::ftruncate(::fileno(file), 0) != 0) {
            failure = HttpError("cannot write the downloaded file");
            return false;
        }
        offset = 0;
        received = 0;
        return true;
    }

    // Decides from the final response's status what to do with its body.
    bool begin() {
        const long code = responseCode(easy);
        curl_off_t length = -1;
        curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        const auto rest =
            length >= 0 ? std::optional(static_cast<std::uint64_t>(length)) : std::nullopt;
        if (code == 200) {
            if (offset > 0 && !truncate()) {
                return false;
            }
            total = rest;
            return startWriting();
        }
        if (code == 206) {
            const auto range = contentRange(easy);
            // Only the rest of the file, exactly, can be appended to it.
            if (!range || range->first != offset ||
                (rest && *rest != *range->last - *range->first + 1)) {
                restart = true;
                return false;
            }
            total = range->length ? range->length
                    : rest        ? std::optional(offset + *rest)
                                  : std::nullopt;
            return startWriting();
        }
        if (code == 416) {
            body = Body::discard;
            return true;
        }
        failure = statusError(code);
        return false;
    }

    // Writes the body from here on, unless the server already says it is too large.
    bool startWriting() {
        if (limit && total && *total > *limit) {
            failure = tooLargeError(*limit);
            return false;
        }
        body = Body::write;
        return true;
    }

    static std::size_t onData(char* data, std::size_t size, std::size_t count, void* context) {
        auto& self = *static_cast<Transfer*>(context);
        const std::size_t bytes = size * count;
        if (self.body == Body::undecided && !self.begin()) {
            return CURL_WRITEFUNC_ERROR;
        }
        if (self.body == Body::discard) {
            return bytes;
        }
        if (self.limit && bytes > *self.limit - std::min(*self.limit, self.received)) {
            self.failure = tooLargeError(*self.limit);
            return CURL_WRITEFUNC_ERROR;
        }
        if (std::fwrite(data, 1, bytes, self.file) != bytes) {
            self.failure = HttpError("cannot write the downloaded file");
            return CURL_WRITEFUNC_ERROR;
        }
        self.received += bytes;
        return bytes;
    }
};

// Runs a transfer, calling `tick` about every 100 ms also while nothing arrives; a false from
// it cancels.
CURLcode performTicking(CURL* easy, const std::function<bool()>& tick) {
    using Multi = std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)>;
    const Multi multi(curl_multi_init(), curl_multi_cleanup);
    if (!multi || curl_multi_add_handle(multi.get(), easy) != CURLM_OK) {
        throw HttpError("the transfer library could not start");
    }
    struct Detach {
        CURLM* multi;
        CURL* easy;
        ~Detach() { curl_multi_remove_handle(multi, easy); }
    } detach{multi.get(), easy};

    auto lastTick = std::chrono::steady_clock::time_point();
    int running = 1;
    while (running > 0) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            throw HttpError("the transfer library failed");
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - lastTick >= tickInterval) {
            lastTick = now;
            if (!tick()) {
                throw HttpError("cancelled", HttpError::Kind::cancelled);
            }
        }
        if (running > 0) {
            curl_multi_poll(multi.get(), nullptr, 0, 100, nullptr);
        }
    }
    int queued = 0;
    const CURLMsg* message = curl_multi_info_read(multi.get(), &queued);
    return message != nullptr ? message->data.result : CURLE_RECV_ERROR;
}

std::uint64_t fileSize(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) {
        throw HttpError("cannot read the downloaded file");
    }
    const long size = std::ftell(file);
    if (size < 0) {
        throw HttpError("cannot read the downloaded file");
    }
    return static_cast<std::uint64_t>(size);
}

} // namespace

HttpClient::HttpClient(std::chrono::seconds stallLimit, std::filesystem::path authorities)
    : stallLimit_(stallLimit)
    , authorities_(std::move(authorities)) {}

std::string HttpClient::fetch(const std::string& url, std::size_t maximumBytes,
                              double timeoutSeconds) const {
    struct Fetch {
        CURL* easy;
        std::size_t limit;
        std::string body;
        std::optional<HttpError> failure;
    };
    char errorBuffer[CURL_ERROR_SIZE];
    const Easy easy = makeEasy(url, stallLimit_, authorities_, errorBuffer);
    Fetch fetch{easy.get(), maximumBytes, {}, std::nullopt};
    curl_easy_setopt(easy.get(), CURLOPT_TIMEOUT_MS,
                     static_cast<long>(std::clamp(timeoutSeconds * 1000, 1.0, 1e9)));
    curl_easy_setopt(easy.get(), CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy.get(), CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maximumBytes));
    curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &fetch);
    curl_easy_setopt(
        easy.get(), CURLOPT_WRITEFUNCTION,
        +[](char* data, std::size_t size, std::size_t count, void* context) -> std::size_t {
            auto& self = *static_cast<Fetch*>(context);
            const std::size_t bytes = size * count;
            const long code = responseCode(self.easy);
            if (code < 200 || code >= 300) {
                self.failure = statusError(code);
                return CURL_WRITEFUNC_ERROR;
            }
            if (bytes > self.limit - self.body.size()) {
                self.failure = tooLargeError(self.limit);
                return CURL_WRITEFUNC_ERROR;
            }
            self.body.append(data, bytes);
            return bytes;
        });
    const CURLcode result = curl_easy_perform(easy.get());
    if (fetch.failure) {
        throw *fetch.failure;
    }
    if (result == CURLE_FILESIZE_EXCEEDED) {
        throw tooLargeError(maximumBytes);
    }
    if (result == CURLE_OPERATION_TIMEDOUT) {
        throw HttpError(
            fmt::format("no answer from the server within {:g} seconds", timeoutSeconds));
    }
    if (result != CURLE_OK) {
        throw transferError(result, errorBuffer, stallLimit_);
    }
    const long code = responseCode(easy.get());
    if (code < 200 || code >= 300) {
        throw statusError(code);
    }
    return std::move(fetch.body);
}

void HttpClient::download(const std::string& url, const std::filesystem::path& file,
                          const Progress& progress,
                          std::optional<std::uint64_t> maximumBytes) const {
    File output(std::fopen(file.c_str(), "ab"), std::fclose);
    if (!output) {
        throw HttpError("cannot create the downloaded file");
    }
    // A second request only when the first could not continue the file where it ends.
    for (int attempt = 0;; ++attempt) {
        char errorBuffer[CURL_ERROR_SIZE];
        const Easy easy = makeEasy(url, stallLimit_, authorities_, errorBuffer);
        Transfer transfer;
        transfer.easy = easy.get();
        transfer.file = output.get();
        transfer.limit = maximumBytes;
        transfer.offset = fileSize(output.get());
        transfer.received = transfer.offset;
        // A file already longer than allowed cannot be the start of the right one.
        if (maximumBytes && transfer.offset > *maximumBytes) {
            if (!transfer.truncate()) {
                throw *transfer.failure;
            }
        }
        if (transfer.offset > 0) {
            const auto range = std::to_string(transfer.offset) + "-";
            curl_easy_setopt(easy.get(), CURLOPT_RANGE, range.c_str());
        }
        curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &transfer);
        curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, &Transfer::onData);

        const CURLcode result =
            performTicking(easy.get(), [&] { return progress(transfer.received, transfer.total); });
        if (std::fflush(output.get()) != 0) {
            throw HttpError("cannot write the downloaded file");
        }
        if (result == CURLE_OK && transfer.body == Transfer::Body::undecided) {
            transfer.begin();
        }
        if (result == CURLE_OK && transfer.body == Transfer::Body::discard) {
            // 416: nothing is left to send when the file already has all of it.
            const auto range = contentRange(easy.get());
            if (range && !range->first && range->length == transfer.offset) {
                transfer.total = range->length;
            } else {
                transfer.restart = true;
            }
        }
        if (transfer.restart && attempt == 0) {
            if (!transfer.truncate()) {
                throw *transfer.failure;
            }
            continue;
        }
        if (transfer.failure) {
            throw *transfer.failure;
        }
        if (transfer.restart) {
            throw HttpError("the server cannot continue the download");
        }
        if (result != CURLE_OK) {
            throw transferError(result, errorBuffer, stallLimit_);
        }
        progress(transfer.received, transfer.total);
        return;
    }
}

} // namespace ambrel
