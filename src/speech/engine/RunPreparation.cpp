#include "RunPreparation.h"

#include "core/Log.h"

#include <fmt/format.h>

namespace ambrel {

using core::SpeechSource;

std::shared_ptr<RunPreparation> RunPreparation::begin(const SpeechEngineServices& services,
                                                      core::Scheduler& scheduler,
                                                      std::function<const SpeechOptions&()> options,
                                                      std::shared_ptr<std::atomic<bool>> closing,
                                                      Reports reports) {
    std::shared_ptr<RunPreparation> preparation(new RunPreparation(
        services, scheduler, std::move(options), std::move(closing), std::move(reports)));
    preparation->post([](RunPreparation& self) { self.resolveLanguages(); });
    return preparation;
}

RunPreparation::RunPreparation(const SpeechEngineServices& services, core::Scheduler& scheduler,
                               std::function<const SpeechOptions&()> options,
                               std::shared_ptr<std::atomic<bool>> closing, Reports reports)
    : services_(services)
    , scheduler_(scheduler)
    , options_(std::move(options))
    , closing_(std::move(closing))
    , reports_(std::move(reports)) {}

void RunPreparation::post(std::function<void(RunPreparation&)> step) {
    scheduler_.post([weak = weak_from_this(), step = std::move(step)] {
        if (const auto self = weak.lock()) {
            step(*self);
        }
    });
}

void RunPreparation::inBackground(std::function<void()> work) {
    services_.background(std::move(work));
}

void RunPreparation::resolveLanguages() {
    const SpeechOptions asked = options_();
    if (!asked.systemAudio && !asked.microphone) {
        finish({{}, {}, {}, RunProblem::of(RunProblem::Kind::noAudioSource)});
        return;
    }
    inBackground(
        [resolve = services_.languages, asked, weak = weak_from_this(), &scheduler = scheduler_] {
            LanguageChoice choice;
            try {
                choice = resolve(asked);
            } catch (const std::exception& error) {
                core::Log::transcript().error(
                    fmt::format("Couldn’t resolve the recognition languages: {}", error.what()));
            }
            scheduler.post([weak, asked, choice = std::move(choice)]() mutable {
                if (const auto self = weak.lock()) {
                    self->languagesResolved(asked, std::move(choice));
                }
            });
        });
}

void RunPreparation::languagesResolved(const SpeechOptions& asked, LanguageChoice choice) {
    const auto& now = options_();
    if (now.automaticLanguages != asked.automaticLanguages ||
        now.chosenLanguages != asked.chosenLanguages) {
        resolveLanguages(); // the languages changed while they were looked up
        return;
    }
    for (const auto& identifier : choice.unavailable) {
        core::Log::transcript().notice(
            fmt::format("No speech model for {}: not installed, not downloadable{}", identifier,
                        choice.listProblem ? " (" + *choice.listProblem + ")" : std::string()));
    }
    if (reports_.languagesResolved) {
        reports_.languagesResolved(choice);
    }
    if (choice.languages.empty()) {
        // Without a single recogniser the run would listen and never write anything.
        finish({{}, {}, {}, RunProblem::of(RunProblem::Kind::noSpeechModel)});
        return;
    }
    installModels(std::move(choice.languages));
}

void RunPreparation::installModels(std::vector<RecognitionLanguage> languages) {
    inBackground([install = services_.ensureInstalled, languages, closing = closing_,
                  weak = weak_from_this(), &scheduler = scheduler_] {
        std::optional<std::string> failure;
        try {
            install(
                languages,
                [&scheduler, weak](double progress) {
                    scheduler.post([weak, progress] {
                        const auto self = weak.lock();
                        if (self && self->reports_.progress) {
                            self->reports_.progress(progress);
                        }
                    });
                },
                *closing);
        } catch (const std::exception& error) {
            failure = error.what();
        }
        scheduler.post([weak, languages, failure]() mutable {
            const auto self = weak.lock();
            if (!self) {
                return;
            }
            if (failure) {
                self->finish({{}, {}, {}, RunProblem::modelDownloadFailed(*failure)});
                return;
            }
            self->checkPermission(std::move(languages));
        });
    });
}

void RunPreparation::checkPermission(std::vector<RecognitionLanguage> languages) {
    const auto& options = options_();
    std::vector<SpeechSource> sources;
    if (options.systemAudio) {
        sources.push_back(SpeechSource::systemAudio);
    }
    if (!options.microphone) {
        finish({std::move(languages), std::move(sources), {}, std::nullopt});
        return;
    }
    inBackground([allowed = services_.microphoneAllowed, languages = std::move(languages),
                  sources = std::move(sources), weak = weak_from_this(),
                  &scheduler = scheduler_]() mutable {
        bool microphoneAllowed = false;
        try {
            microphoneAllowed = allowed();
        } catch (const std::exception& error) {
            core::Log::audio().error(
                fmt::format("Couldn’t check the microphone permission: {}", error.what()));
        }
        scheduler.post([weak, languages = std::move(languages), sources = std::move(sources),
                        microphoneAllowed]() mutable {
            const auto self = weak.lock();
            if (!self) {
                return;
            }
            std::vector<RunProblem> warnings;
            if (microphoneAllowed) {
                sources.push_back(SpeechSource::microphone);
            } else {
                warnings.push_back(RunProblem::of(RunProblem::Kind::microphoneDenied));
            }
            self->finish(
                {std::move(languages), std::move(sources), std::move(warnings), std::nullopt});
        });
    });
}

void RunPreparation::finish(Outcome outcome) {
    if (reports_.done) {
        reports_.done(std::move(outcome));
    }
}

} // namespace ambrel
