#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace ambrel::core {

// The user's settings as typed values by key. A key holds nothing, or a value of one type;
// readers can tell a missing key from one holding another type, and apply their own rules.
class SettingsStore {
public:
    using Value = std::variant<bool, double, std::string, std::vector<std::string>>;

    virtual ~SettingsStore() = default;

    virtual std::optional<Value> value(std::string_view key) const = 0;
    virtual void setValue(std::string_view key, Value value) = 0;
    virtual void remove(std::string_view key) = 0;

    // The stored value when it has the asked type; absent when missing or of another type.
    // Stores that keep no types (text files) decide here what a stored text can stand for.
    virtual std::optional<bool> boolValue(std::string_view key) const { return typed<bool>(key); }
    virtual std::optional<double> doubleValue(std::string_view key) const {
        return typed<double>(key);
    }
    virtual std::optional<std::string> stringValue(std::string_view key) const {
        return typed<std::string>(key);
    }
    virtual std::optional<std::vector<std::string>> stringListValue(std::string_view key) const {
        return typed<std::vector<std::string>>(key);
    }

private:
    template <typename T>
    std::optional<T> typed(std::string_view key) const {
        const auto stored = value(key);
        if (stored && std::holds_alternative<T>(*stored)) {
            return std::get<T>(*stored);
        }
        return std::nullopt;
    }
};

// Settings kept in memory only: for tests and for runs that must not touch the user's settings.
class MemorySettingsStore : public SettingsStore {
public:
    std::optional<Value> value(std::string_view key) const override;
    void setValue(std::string_view key, Value value) override;
    void remove(std::string_view key) override;

private:
    mutable std::mutex mutex_;
    std::map<std::string, Value, std::less<>> values_;
};

} // namespace ambrel::core
