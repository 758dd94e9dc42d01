#include "AppSettings.h"

#include <algorithm>
#include <cmath>

namespace ambrel {

bool AppSettings::flagDefaultingToTrue(std::string_view key) const {
    return store_->boolValue(key) != false;
}

bool AppSettings::flag(std::string_view key) const {
    return store_->boolValue(key).value_or(false);
}

void AppSettings::setFlag(std::string_view key, bool value) {
    store_->setValue(key, value);
}

std::optional<std::string> AppSettings::text(std::string_view key) const {
    return store_->stringValue(key);
}

void AppSettings::setText(std::string_view key, const std::string& value) {
    store_->setValue(key, value);
}

void AppSettings::remove(std::string_view key) {
    store_->remove(key);
}

SpeechOptions AppSettings::speechOptions() const {
    SpeechOptions options;
    options.systemAudio = flagDefaultingToTrue(Keys::transcribeSystemAudio);
    options.microphone = flag(Keys::transcribeMicrophone);
    const auto device = store_->stringValue(Keys::microphoneDevice);
    options.microphoneDevice = core::MicrophoneSelection::fromStorageValue(
        device ? std::optional<std::string_view>(*device) : std::nullopt);
    options.automaticLanguages = flagDefaultingToTrue(Keys::automaticLanguages);
    options.chosenLanguages =
        store_->stringListValue(Keys::chosenLanguages).value_or(std::vector<std::string>{});
    options.echoCancellation = cancelSpeakerEcho();
    return options;
}

void AppSettings::setSpeechOptions(const SpeechOptions& options) {
    store_->setValue(Keys::transcribeSystemAudio, options.systemAudio);
    store_->setValue(Keys::transcribeMicrophone, options.microphone);
    store_->setValue(Keys::automaticLanguages, options.automaticLanguages);
    store_->setValue(Keys::chosenLanguages, options.chosenLanguages);
    store_->setValue(Keys::microphoneDevice, options.microphoneDevice.storageValue());
    setCancelSpeakerEcho(options.echoCancellation);
}

bool AppSettings::cancelSpeakerEcho() const {
    return flagDefaultingToTrue(Keys::cancelSpeakerEcho);
}

void AppSettings::setCancelSpeakerEcho(bool on) {
    store_->setValue(Keys::cancelSpeakerEcho, on);
}

core::PlainTextOptions AppSettings::copyOptions() const {
    return {flagDefaultingToTrue(Keys::copyTimestamps), flagDefaultingToTrue(Keys::copySpeakers)};
}

double AppSettings::clamped(std::string_view key, double fallback, double lower,
                            double upper) const {
    const auto stored = store_->doubleValue(key);
    if (!stored || std::isnan(*stored)) {
        return fallback;
    }
    return std::clamp(*stored, lower, upper);
}

double AppSettings::overlayTransparency() const {
    return clamped(Keys::overlayTransparency, defaultTransparency, 0.0, 0.5);
}

double AppSettings::overlayContrast() const {
    return clamped(Keys::overlayContrast, defaultContrast, 0.0, 1.0);
}

void AppSettings::restoreOverlayStyle() {
    remove(Keys::overlayTransparency);
    remove(Keys::overlayContrast);
}

} // namespace ambrel
