#pragma once

#include <filesystem>
#include <string_view>

namespace ambrel::testing {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

    void write(std::string_view name, std::string_view contents) const;
    std::string read(std::string_view name) const;

private:
    std::filesystem::path path_;
};

} // namespace ambrel::testing
