#include "WelcomeModel.h"

#include "app/SessionsFolder.h"
#include "app/desktop/DefaultFolders.h"
#include "locale/L10n.h"

#include <unicode/listformatter.h>

#include <utility>

namespace ambrel {

namespace {

// "English and German", in the interface language's own words.
std::string listed(const std::vector<std::string>& names) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::ListFormatter> formatter(
        icu::ListFormatter::createInstance(icu::Locale(L10n::localeIdentifier().c_str()),
                                           ULISTFMT_TYPE_AND, ULISTFMT_WIDTH_WIDE, status));
    std::vector<icu::UnicodeString> items;
    for (const auto& name : names) {
        items.push_back(icu::UnicodeString::fromUTF8(name));
    }
    icu::UnicodeString joined;
    if (U_SUCCESS(status) && formatter) {
        formatter->format(items.data(), static_cast<int32_t>(items.size()), joined, status);
    }
    if (U_FAILURE(status) || !formatter) {
        std::string fallback;
        for (const auto& name : names) {
            fallback += (fallback.empty() ? "" : ", ") + name;
        }
        return fallback;
    }
    std::string result;
    joined.toUTF8String(result);
    return result;
}

} // namespace

WelcomeModel::WelcomeModel(Actions actions, Services services)
    : actions_(std::move(actions))
    , services_(std::move(services)) {
    if (!services_.probeWork || !services_.background) {
        probeQueue_ = std::make_unique<core::SerialQueue>("org.ambrel.Ambrel.permission-probe");
    }
    refresh();
}

WelcomeModel::~WelcomeModel() {
    alive_.reset();
    if (systemAudioProbe_) {
        systemAudioProbe_->stop();
    }
}

template <typename T>
void WelcomeModel::set(T& field, T value) {
    if (field != value) {
        field = std::move(value);
        if (onChange) {
            onChange();
        }
    }
}

void WelcomeModel::onProbeQueue(std::function<void()> work) {
    if (services_.probeWork) {
        services_.probeWork(std::move(work));
    } else {
        probeQueue_->async(std::move(work));
    }
}

void WelcomeModel::inBackground(std::function<void()> work) {
    if (services_.background) {
        services_.background(std::move(work));
    } else {
        probeQueue_->async(std::move(work));
    }
}

bool WelcomeModel::isComplete() const {
    return folder_.has_value() && microphone_ == Step::done &&
           (systemAudio_ == Step::done || systemAudio_ == Step::unknown);
}

void WelcomeModel::refresh() {
    showSettings();
    if (checking_ || !services_.checkPermissions) {
        return; // one check at a time
    }
    checking_ = true;
    inBackground([check = services_.checkPermissions, post = services_.post,
                  alive = std::weak_ptr<bool>(alive_), this] {
        const auto current = check();
        post([alive, this, current] {
            if (alive.lock()) {
                checking_ = false;
                apply(current);
            }
        });
    });
}

void WelcomeModel::showSettings() {
    set(interfaceLanguage_, L10n::preference());
    const auto options = services_.options ? services_.options() : SpeechOptions{};
    if (options.automaticLanguages || options.chosenLanguages.empty()) {
        set(recognitionLanguages_, L10n::text(Texts::menuAutomaticLanguage));
    } else {
        std::vector<std::string> names;
        for (const auto& identifier : options.chosenLanguages) {
            names.push_back(L10n::shortName(identifier, options.chosenLanguages));
        }
        set(recognitionLanguages_, listed(names));
    }
    const auto folder = services_.folder ? services_.folder() : std::nullopt;
    set(folder_, folder ? std::optional(SessionsFolder::displayPath(*folder)) : std::nullopt);
}

void WelcomeModel::apply(const Permissions::Current& current) {
    using State = Permissions::State;
    Step system = Step::todo;
    if (askingForSystemAudio_) {
        system = Step::checking;
    } else if (current.systemAudio == State::allowed) {
        system = Step::done;
    } else if (current.systemAudio == State::denied) {
        system = Step::denied;
    } else if (current.systemAudio == State::notAsked) {
        system = Step::todo;
    } else {
        const bool asked = services_.systemAudioAsked && services_.systemAudioAsked();
        system = asked ? Step::unknown : Step::todo;
    }
    set(systemAudio_, system);
    set(microphone_, current.microphone == State::allowed  ? Step::done
                     : current.microphone == State::denied ? Step::denied
                                                           : Step::todo);
}

void WelcomeModel::askForSystemAudio() {
    if (systemAudioProbe_ || !services_.makeSystemAudioProbe) {
        return;
    }
    systemAudioProbe_ = services_.makeSystemAudioProbe();
    askingForSystemAudio_ = true;
    set(systemAudio_, Step::checking);
    onProbeQueue([probe = systemAudioProbe_, mark = services_.markSystemAudioAsked,
                  post = services_.post, alive = std::weak_ptr<bool>(alive_), this] {
        probe->stop();
        if (mark) {
            mark();
        }
        bool started = true;
        try {
            probe->start([](AudioBuffer) {}); // the buffers are not wanted
        } catch (const std::exception&) {
            probe->stop();
            started = false;
        }
        post([alive, this, probe, started] {
            if (alive.lock()) {
                askingForSystemAudio_ = false;
                if (!started && systemAudioProbe_ == probe) {
                    systemAudioProbe_.reset(); // "Allow…" may try again
                }
                refresh();
            }
        });
    });
}

void WelcomeModel::stopAskingForSystemAudio() {
    if (auto probe = std::exchange(systemAudioProbe_, nullptr)) {
        onProbeQueue([probe] { probe->stop(); });
    }
}

void WelcomeModel::turnOnMicrophone() {
    // No dialog asks for the microphone here: a check tells whether recording is allowed.
    if (!services_.checkPermissions) {
        return;
    }
    inBackground([check = services_.checkPermissions, post = services_.post,
                  alive = std::weak_ptr<bool>(alive_), this] {
        const auto current = check();
        post([alive, this, current] {
            if (!alive.lock()) {
                return;
            }
            if (current.microphone == Permissions::State::allowed && actions_.turnOnMicrophone) {
                actions_.turnOnMicrophone();
            }
            apply(current);
            showSettings(); // the check just made is the news; no second one
        });
    });
}

} // namespace ambrel
