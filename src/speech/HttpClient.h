#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace ambrel {

// HTTP(S) transfers, one connection per call; usable from any thread. Failures throw HttpError.
// Redirects are followed to HTTP and HTTPS only, and never from HTTPS to plain HTTP.
class HttpClient {
public:
    // Gets the bytes received so far and the total when the server told it; false cancels.
    using Progress =
        std::function<bool(std::uint64_t received, std::optional<std::uint64_t> total)>;

    // A transfer that receives nothing for `stallLimit` fails. Servers are checked against the
    // system's certificate authorities, or against those in the PEM file `authorities`.
    explicit HttpClient(std::chrono::seconds stallLimit = std::chrono::seconds(30),
                        std::filesystem::path authorities = {});

    // A small document, such as a catalogue, in full.
    std::string fetch(const std::string& url, std::size_t maximumBytes,
                      double timeoutSeconds) const;

    // Appends `url` to `file`, asking only for the missing rest when `file` has bytes already
    // (and starting over when the server sends everything). Progress comes at least every half
    // second on the calling thread. A file that would grow past `maximumBytes`, or that the
    // server says is larger, fails with Kind::tooLarge the moment that is known.
    void download(const std::string& url, const std::filesystem::path& file,
                  const Progress& progress,
                  std::optional<std::uint64_t> maximumBytes = std::nullopt) const;

private:
    std::chrono::seconds stallLimit_;
    std::filesystem::path authorities_;
};

} // namespace ambrel
