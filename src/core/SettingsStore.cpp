#include "SettingsStore.h"

namespace ambrel::core {

std::optional<SettingsStore::Value> MemorySettingsStore::value(std::string_view key) const {
    const std::lock_guard lock(mutex_);
    const auto found = values_.find(key);
    if (found == values_.end()) {
        return std::nullopt;
    }
    return found->second;
}

void MemorySettingsStore::setValue(std::string_view key, Value value) {
    const std::lock_guard lock(mutex_);
    values_.insert_or_assign(std::string(key), std::move(value));
}

void MemorySettingsStore::remove(std::string_view key) {
    const std::lock_guard lock(mutex_);
    if (const auto found = values_.find(key); found != values_.end()) {
        values_.erase(found);
    }
}

} // namespace ambrel::core
