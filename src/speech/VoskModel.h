#pragma once

#include "VoskLibrary.h"

#include <filesystem>
#include <memory>

namespace ambrel {

// A Vosk model loaded from its folder. Loading takes long and much memory, so each folder is
// loaded once and kept for the life of the process, shared by every recogniser that uses it.
class VoskModel {
public:
    // The model in `folder`, loaded on first use. Throws std::runtime_error naming the folder
    // when it holds no model the library can load; a later call tries again.
    static std::shared_ptr<const VoskModel> shared(const VoskLibrary& library,
                                                   const std::filesystem::path& folder);

    // Loads a model of its own; prefer shared().
    VoskModel(const VoskLibrary& library, const std::filesystem::path& folder);
    ~VoskModel();
    VoskModel(const VoskModel&) = delete;
    VoskModel& operator=(const VoskModel&) = delete;

    const VoskLibrary& library() const { return library_; }
    // The library lets any number of recognisers use one model at once.
    VoskLibrary::NativeModel* native() const { return native_; }
    const std::filesystem::path& folder() const { return folder_; }

private:
    const VoskLibrary& library_;
    VoskLibrary::NativeModel* native_ = nullptr;
    std::filesystem::path folder_;
};

} // namespace ambrel
