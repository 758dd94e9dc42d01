#pragma once

#include <stdexcept>
#include <string>

namespace ambrel {

// A transfer that failed; the message is readable ("HTTP 404", the transfer library's text, or
// what broke a limit).
class HttpError : public std::runtime_error {
public:
    enum class Kind { transfer, status, tooLarge, cancelled };

    explicit HttpError(const std::string& message, Kind kind = Kind::transfer, long status = 0)
        : std::runtime_error(message)
        , kind_(kind)
        , status_(status) {}

    Kind kind() const { return kind_; }
    // The server's status code when it answered with an error, else 0.
    long status() const { return status_; }

private:
    Kind kind_;
    long status_;
};

} // namespace ambrel
