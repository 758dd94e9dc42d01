#include "VoskLibrary.h"

#include "core/Log.h"

#include <cstdlib>
#include <dlfcn.h>
#include <stdexcept>
#include <system_error>

namespace ambrel {

namespace {

// Below the library's error level: its messages go to standard error, ours to the log.
constexpr int quietLogLevel = -3;

template <typename Function>
void bind(void* handle, const char* name, Function& target, std::string& missing) {
    void* symbol = dlsym(handle, name);
    if (symbol == nullptr) {
        missing += missing.empty() ? name : std::string(", ") + name;
        return;
    }
    target = reinterpret_cast<Function>(symbol);
}

std::filesystem::path executableFolder() {
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : executable.parent_path();
}

const VoskLibrary* openShared() {
    const char* variable = std::getenv("AMBREL_VOSK_LIBRARY");
    try {
        auto library = VoskLibrary::open(
            VoskLibrary::searchPaths(variable != nullptr ? variable : "", executableFolder()));
        core::Log::transcript().info("Vosk speech recognition from " + library->path());
        return library.release(); // kept for the life of the process, like its models
    } catch (const std::exception& error) {
        core::Log::transcript().notice(std::string("Vosk speech recognition is not available: ") +
                                       error.what());
        return nullptr;
    }
}

} // namespace

VoskLibrary::~VoskLibrary() {
    if (handle_ != nullptr) {
        dlclose(handle_);
    }
}

const VoskLibrary* VoskLibrary::shared() {
    static const VoskLibrary* const library = openShared();
    return library;
}

std::unique_ptr<VoskLibrary> VoskLibrary::open(const std::vector<std::string>& candidates) {
    std::string reasons;
    const auto reject = [&reasons](const std::string& reason) {
        reasons += reasons.empty() ? reason : "; " + reason;
    };
    for (const auto& candidate : candidates) {
        void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* error = dlerror();
            reject(error != nullptr ? error : candidate + ": cannot be opened");
            continue;
        }
        auto library = std::make_unique<VoskLibrary>();
        library->handle_ = handle;
        library->path_ = candidate;
        std::string missing;
        bind(handle, "vosk_model_new", library->modelNew, missing);
        bind(handle, "vosk_model_free", library->modelFree, missing);
        bind(handle, "vosk_recognizer_new", library->recognizerNew, missing);
        bind(handle, "vosk_recognizer_free", library->recognizerFree, missing);
        bind(handle, "vosk_recognizer_set_words", library->recognizerSetWords, missing);
        bind(handle, "vosk_recognizer_accept_waveform_f", library->recognizerAcceptWaveformF,
             missing);
        bind(handle, "vosk_recognizer_result", library->recognizerResult, missing);
        bind(handle, "vosk_recognizer_partial_result", library->recognizerPartialResult, missing);
        bind(handle, "vosk_recognizer_final_result", library->recognizerFinalResult, missing);
        bind(handle, "vosk_recognizer_reset", library->recognizerReset, missing);
        bind(handle, "vosk_set_log_level", library->setLogLevel, missing);
        if (!missing.empty()) {
            reject(candidate + ": lacks " + missing);
            continue;
        }
        library->setLogLevel(quietLogLevel);
        return library;
    }
    throw std::runtime_error(reasons.empty() ? "nowhere to look for libvosk.so" : reasons);
}

std::vector<std::string> VoskLibrary::searchPaths(const std::string& explicitPath,
                                                  const std::filesystem::path& executableFolder) {
    std::vector<std::string> paths;
    if (!explicitPath.empty()) {
        paths.push_back(explicitPath);
    }
    if (!executableFolder.empty()) {
        const auto prefix = executableFolder.parent_path();
        paths.push_back((prefix / "lib" / "ambrel" / "libvosk.so").string());
        paths.push_back((prefix / "lib" / "libvosk.so").string());
    }
    paths.emplace_back("libvosk.so");
    return paths;
}

} // namespace ambrel
