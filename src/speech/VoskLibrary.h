#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace ambrel {

// The entry points of libvosk.so that the speech engine uses, opened at run time so that the
// app works (without that engine) when the library is missing.
class VoskLibrary {
public:
    // The library's own opaque types.
    struct NativeModel;
    struct NativeRecognizer;

    NativeModel* (*modelNew)(const char* path) = nullptr;
    void (*modelFree)(NativeModel* model) = nullptr;
    NativeRecognizer* (*recognizerNew)(NativeModel* model, float sampleRate) = nullptr;
    void (*recognizerFree)(NativeRecognizer* recognizer) = nullptr;
    void (*recognizerSetWords)(NativeRecognizer* recognizer, int words) = nullptr;
    // Samples on the 16-bit scale; 1 at the end of an utterance, 0 while it goes on, -1 on error.
    int (*recognizerAcceptWaveformF)(NativeRecognizer* recognizer, const float* data,
                                     int length) = nullptr;
    const char* (*recognizerResult)(NativeRecognizer* recognizer) = nullptr;
    const char* (*recognizerPartialResult)(NativeRecognizer* recognizer) = nullptr;
    const char* (*recognizerFinalResult)(NativeRecognizer* recognizer) = nullptr;
    void (*recognizerReset)(NativeRecognizer* recognizer) = nullptr;
    void (*setLogLevel)(int level) = nullptr;

    // Nothing opened: for stand-ins whose entry points are filled in by hand.
    VoskLibrary() = default;
    ~VoskLibrary();
    VoskLibrary(const VoskLibrary&) = delete;
    VoskLibrary& operator=(const VoskLibrary&) = delete;

    // The process's library, opened on first use and kept; null when none could be opened (the
    // reason is logged once).
    static const VoskLibrary* shared();

    // Opens the first of `candidates` that loads and has every entry point, and quiets the
    // library's own logging. Throws std::runtime_error with the reason for each otherwise.
    static std::unique_ptr<VoskLibrary> open(const std::vector<std::string>& candidates);

    // Where to look, in order: `explicitPath` (unless empty), beside the executable's folder in
    // lib/ambrel and lib, then the system's search.
    static std::vector<std::string> searchPaths(const std::string& explicitPath,
                                                const std::filesystem::path& executableFolder);

    // The file it was opened from; empty for a stand-in.
    const std::string& path() const { return path_; }

private:
    void* handle_ = nullptr;
    std::string path_;
};

} // namespace ambrel
