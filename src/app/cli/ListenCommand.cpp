#include "ListenCommand.h"

#include "BuildInfo.h"
#include "SignalWatcher.h"
#include "SpeechCommandSetup.h"
#include "TerminalCaptions.h"
#include "TerminalFacts.h"
#include "app/desktop/QtSettingsStore.h"
#include "app/desktop/SpeechServices.h"
#include "app/tray/StatusPresentation.h"
#include "core/EventLoop.h"
#include "core/SessionStore.h"
#include "speech/engine/SpeechEngine.h"

#include <algorithm>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace ambrel::ListenCommand {

namespace {

// How long a stop may take before the run ends without waiting further.
constexpr double stopGrace = 5.0;

// The sources whose capture is interrupted now.
std::set<core::SpeechSource> interruptedSources(const TranscriptionStatus& status) {
    std::set<core::SpeechSource> sources;
    for (const auto& warning : status.warnings) {
        if (warning.kind == RunProblem::Kind::sourceFailed && warning.source) {
            sources.insert(*warning.source);
        }
    }
    return sources;
}

std::string statusLine(const TranscriptionStatus& status, core::Instant now) {
    const StatusPresentation presentation(status, now);
    return presentation.detail ? presentation.text + " — " + *presentation.detail
                               : presentation.text;
}

} // namespace

int run(CommandArguments arguments, std::ostream& out, std::ostream& err) {
    auto setup = SpeechCommandSetup::read(arguments);
    SpeechOptions options;
    options.systemAudio = arguments.onOff("--system-audio").value_or(true);
    options.microphone = arguments.onOff("--microphone").value_or(false);
    options.echoCancellation = arguments.onOff("--echo-cancellation").value_or(true);
    arguments.operands(0);
    if (!options.systemAudio && !options.microphone) {
        throw UsageError{"--system-audio and --microphone are both off: nothing to listen to"};
    }

    core::EventLoop loop;
    bool stopping = false;
    std::shared_ptr<SpeechEngine> engine;
    core::Scheduler::TimerHandle deadline;
    const auto stop = [&] {
        if (stopping) {
            loop.quit(); // asked twice: do not wait any longer
            return;
        }
        stopping = true;
        engine->stopListening();
        deadline = loop.after(stopGrace, [&] { loop.quit(); });
    };
    const SignalWatcher watcher([&](int) { loop.post(stop); });

    try {
        setup.prepare();
    } catch (const CommandFailure& failure) {
        err << "ambrel: " << failure.what() << '\n';
        return 1;
    }
    options.automaticLanguages = setup.languages.empty();
    options.chosenLanguages = setup.languages;
    engine = SpeechEngine::create(setup.folder, options, loop,
                                  SpeechServices::engine(loop, setup.model, setup.settings, false));

    const bool interactive = TerminalFacts::isInteractive(out);
    TerminalCaptions captions(out, interactive, TerminalCaptions::Times::clock,
                              options.systemAudio && options.microphone,
                              TerminalFacts::columns(out));
    std::optional<std::string> sessionID;
    std::optional<std::string> failure;
    std::optional<std::string> shownDetail;
    // Every detail printed on standard error, so that the failure that ends the run is not
    // printed a second time when it was already a warning.
    std::vector<std::string> printed;
    std::set<core::SpeechSource> interruptedBefore;
    engine->onLiveText = [&](const LiveTranscriptText& live) { captions.showLive(live); };
    engine->onSessionUpdated = [&](const core::SessionRecord& record) {
        captions.showSession(record);
    };
    engine->onStatusChange = [&](const TranscriptionStatus& status) {
        if (status.currentSessionID) {
            sessionID = status.currentSessionID;
        }
        captions.showStatus(statusLine(status, loop.now()));
        const auto detail = StatusPresentation(status, loop.now()).detail;
        if (detail != shownDetail && detail) {
            captions.interject(err, "ambrel: " + *detail);
            printed.push_back(*detail);
        }
        shownDetail = detail;
        // A fault's end is told as well as its beginning.
        auto interrupted = interruptedSources(status);
        for (const auto source : std::exchange(interruptedBefore, interrupted)) {
            if (!interrupted.contains(source) && status.isRunning()) {
                captions.interject(err,
                                   std::string("ambrel: ") +
                                       (source == core::SpeechSource::systemAudio ? "System audio"
                                                                                  : "Microphone") +
                                       " capture resumed");
            }
        }
        if (const auto* failed = std::get_if<TranscriptionStatus::Failed>(&status.state)) {
            failure = StatusPresentation::describe(failed->problem);
            loop.post([&] {
                if (!stopping) {
                    stop();
                }
            });
        } else if (stopping && status.is<TranscriptionStatus::Idle>()) {
            loop.quit();
        }
    };
    // The elapsed time on the status line moves on.
    const auto ticker =
        loop.every(1.0, [&] { captions.showStatus(statusLine(engine->status(), loop.now())); });

    engine->startListening();
    loop.run();
    engine->shutdown();
    captions.clearLastLine();
    const auto alreadyPrinted = [&](const std::string& message) {
        return std::any_of(printed.begin(), printed.end(), [&](const std::string& detail) {
            return detail.find(message) != std::string::npos;
        });
    };
    if (failure && !alreadyPrinted(*failure)) {
        err << "ambrel: " << *failure << '\n';
    }
    if (sessionID) {
        out << core::SessionStore(setup.folder).jsonURL(*sessionID).string() << '\n';
    }
    return failure ? 1 : 0;
}

} // namespace ambrel::ListenCommand
