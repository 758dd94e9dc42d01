#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ambrel::core {

// The user's microphone setting: automatic, or one device by its persistent uid.
// Stored as "automatic" or "device:<uid>".
class MicrophoneSelection {
public:
    static MicrophoneSelection automatic() { return MicrophoneSelection(std::nullopt); }
    static MicrophoneSelection device(std::string uid) {
        return MicrophoneSelection(std::move(uid));
    }

    // Never fails: anything but "device:" followed by at least one character is automatic.
    static MicrophoneSelection fromStorageValue(std::optional<std::string_view> value);
    std::string storageValue() const;

    bool isAutomatic() const { return !uid_; }
    // The selected device's uid; absent for automatic.
    const std::optional<std::string>& uid() const { return uid_; }

    bool operator==(const MicrophoneSelection&) const = default;

private:
    explicit MicrophoneSelection(std::optional<std::string> uid) : uid_(std::move(uid)) {}

    std::optional<std::string> uid_;
};

} // namespace ambrel::core

template <>
struct std::hash<ambrel::core::MicrophoneSelection> {
    std::size_t operator()(const ambrel::core::MicrophoneSelection& selection) const noexcept {
        return selection.isAutomatic() ? 0 : 1 + 31 * std::hash<std::string>()(*selection.uid());
    }
};
