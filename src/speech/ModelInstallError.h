#pragma once

#include <stdexcept>
#include <string>

namespace ambrel {

// Why a model could not be installed, in a few words for the user.
class ModelInstallError : public std::runtime_error {
public:
    explicit ModelInstallError(const std::string& message, bool cancelled = false)
        : std::runtime_error(message)
        , cancelled_(cancelled) {}

    // The installation was stopped on request rather than failing.
    bool cancelled() const { return cancelled_; }

private:
    bool cancelled_;
};

} // namespace ambrel
