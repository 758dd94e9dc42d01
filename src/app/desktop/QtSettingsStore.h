#pragma once

#include "core/SettingsStore.h"

#include <filesystem>
#include <memory>
#include <mutex>

class QSettings;

namespace ambrel {

// The user's settings in ~/.config/Ambrel/Ambrel.conf. The file keeps texts, not types: a
// stored "true" reads as a bool, "0.25" as a number, and a one-element list reads back as a
// text, so the typed reads accept each of those forms. Safe from any thread.
class QtSettingsStore : public core::SettingsStore {
public:
    QtSettingsStore();
    // The same format in another file (tests).
    explicit QtSettingsStore(const std::filesystem::path& file);
    ~QtSettingsStore() override;

    std::optional<Value> value(std::string_view key) const override;
    void setValue(std::string_view key, Value value) override;
    void remove(std::string_view key) override;

    std::optional<bool> boolValue(std::string_view key) const override;
    std::optional<double> doubleValue(std::string_view key) const override;
    std::optional<std::vector<std::string>> stringListValue(std::string_view key) const override;

    // Writes pending changes to the file.
    void sync();

private:
    mutable std::mutex mutex_;
    std::unique_ptr<QSettings> settings_;
};

} // namespace ambrel
