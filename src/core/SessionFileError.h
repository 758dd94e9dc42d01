#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

namespace ambrel::core {

// A session file that cannot be read, decoded or written. The message names the file;
// code() carries the system's error when there was one (for example ENOENT).
class SessionFileError : public std::runtime_error {
public:
    SessionFileError(std::filesystem::path path, const std::string& message,
                     std::error_code code = {})
        : std::runtime_error(message)
        , path_(std::move(path))
        , code_(code) {}

    const std::filesystem::path& path() const { return path_; }
    const std::error_code& code() const { return code_; }

private:
    std::filesystem::path path_;
    std::error_code code_;
};

} // namespace ambrel::core
