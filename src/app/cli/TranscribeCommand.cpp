#include "TranscribeCommand.h"

#include "BuildInfo.h"
#include "SpeechCommandSetup.h"
#include "TerminalCaptions.h"
#include "TerminalFacts.h"
#include "app/tray/StatusPresentation.h"
#include "audio/WavFile.h"
#include "core/Clocks.h"
#include "core/SessionStore.h"
#include "locale/L10n.h"
#include "speech/engine/FileTranscription.h"

#include <fmt/format.h>

#include <chrono>
#include <ostream>

namespace ambrel::TranscribeCommand {

namespace {

core::SpeechSource sourceNamed(const std::optional<std::string>& name) {
    if (!name || *name == "systemAudio") {
        return core::SpeechSource::systemAudio;
    }
    if (*name == "microphone") {
        return core::SpeechSource::microphone;
    }
    throw UsageError{fmt::format("--source takes systemAudio or microphone, not {}", *name)};
}

// One file; false when it could not be transcribed (the reason is on `err`).
bool transcribe(const std::filesystem::path& file, core::SpeechSource source,
                const SpeechCommandSetup& setup, std::ostream& out, std::ostream& err) {
    std::optional<FileTranscription> run;
    try {
        run.emplace(FileTranscription::Request{file, source, setup.languages, setup.folder,
                                               [] { return L10n::transcriptLabels(); }},
                    setup.model, appVersion, core::Clocks::now());
    } catch (const std::exception& error) {
        err << "ambrel: " << error.what() << '\n';
        return false;
    }
    const bool interactive = TerminalFacts::isInteractive(out);
    TerminalCaptions captions(out, interactive, TerminalCaptions::Times::offset, false,
                              TerminalFacts::columns(out));
    auto& engine = run->engine();
    engine.onLiveText = [&](const LiveTranscriptText& live) { captions.showLive(live); };
    engine.onSessionUpdated = [&](const core::SessionRecord& record) {
        captions.showSession(record);
    };
    engine.onStatusChange = [&](const TranscriptionStatus& status) {
        if (status.is<TranscriptionStatus::Preparing>()) {
            captions.showStatus(StatusPresentation(status, run->scheduler().now()).text);
        }
    };
    if (!run->start()) {
        captions.clearLastLine();
        const auto& status = engine.status();
        const auto* failed = std::get_if<TranscriptionStatus::Failed>(&status.state);
        err << "ambrel: " << file.string() << ": "
            << (failed ? StatusPresentation::describe(failed->problem) : "not started") << '\n';
        return false;
    }
    captions.showStatus("");
    run->feed();
    const auto id = run->finish();
    captions.clearLastLine();
    if (const auto& problem = engine.status().lastSaveError) {
        err << "ambrel: " << file.string() << ": the session could not be saved: " << *problem
            << '\n';
        return false;
    }
    if (!id) {
        err << "ambrel: " << file.string() << ": no speech was recognised, so nothing was saved\n";
        return true;
    }
    out << core::SessionStore(setup.folder).jsonURL(*id).string() << '\n';
    out.flush();
    return true;
}

} // namespace

int run(CommandArguments arguments, std::ostream& out, std::ostream& err) {
    auto setup = SpeechCommandSetup::read(arguments);
    const auto source = sourceNamed(arguments.value("--source"));
    const auto files = arguments.someOperands();
    try {
        setup.prepare();
    } catch (const CommandFailure& failure) {
        err << "ambrel: " << failure.what() << '\n';
        return 1;
    }
    bool allDone = true;
    for (const auto& file : files) {
        allDone = transcribe(file, source, setup, out, err) && allDone;
    }
    return allDone ? 0 : 1;
}

} // namespace ambrel::TranscribeCommand
