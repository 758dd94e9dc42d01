#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ambrel {

// What a recogniser has adapted to (the sound's average spectrum, say), kept between runs so
// that the next run does not start cold. One small file per engine, language and source in a
// folder of its own; each is written atomically and ignored when it cannot be read or makes
// no sense. Safe from any thread: files are only ever replaced whole.
class AdaptationStore {
public:
    // Nothing is kept when the folder is empty.
    explicit AdaptationStore(std::filesystem::path folder) : folder_(std::move(folder)) {}

    // `count` finite numbers stored under the name, if the file holds exactly that.
    std::optional<std::vector<double>> load(const std::string& name, std::size_t count) const;
    // Replaces what is stored under the name; failures are logged, not thrown.
    void save(const std::string& name, const std::vector<double>& values) const;

    // A name fit for a file: engine, language and source with anything odd replaced.
    static std::string nameFor(const std::string& engine, const std::string& locale,
                               const std::string& source);

    const std::filesystem::path& folder() const { return folder_; }

private:
    std::filesystem::path folder_;
};

} // namespace ambrel
