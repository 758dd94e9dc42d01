#include "VoskModel.h"

#include "core/Log.h"

#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

namespace ambrel {

namespace {

struct CacheEntry {
    std::mutex loading; // one load per folder; other folders load meanwhile
    std::shared_ptr<const VoskModel> model;
};

struct Cache {
    std::mutex mutex;
    std::map<std::pair<const VoskLibrary*, std::filesystem::path>, std::shared_ptr<CacheEntry>>
        entries;
};

// Never destroyed: recognisers may still run while the process exits.
Cache& cache() {
    static Cache* const instance = new Cache;
    return *instance;
}

std::filesystem::path cacheKey(const std::filesystem::path& folder) {
    std::error_code error;
    auto canonical = std::filesystem::weakly_canonical(folder, error);
    if (error) {
        return std::filesystem::absolute(folder, error).lexically_normal();
    }
    return canonical;
}

} // namespace

std::shared_ptr<const VoskModel> VoskModel::shared(const VoskLibrary& library,
                                                   const std::filesystem::path& folder) {
    std::shared_ptr<CacheEntry> entry;
    {
        auto& models = cache();
        const std::lock_guard lock(models.mutex);
        auto& slot = models.entries[{&library, cacheKey(folder)}];
        if (!slot) {
            slot = std::make_shared<CacheEntry>();
        }
        entry = slot;
    }
    const std::lock_guard lock(entry->loading);
    if (!entry->model) {
        entry->model = std::make_shared<const VoskModel>(library, folder);
    }
    return entry->model;
}

VoskModel::VoskModel(const VoskLibrary& library, const std::filesystem::path& folder)
    : library_(library)
    , folder_(folder) {
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        throw std::runtime_error(
            "The speech model folder " + folder.string() +
            (std::filesystem::exists(folder, error) ? " is not a folder" : " does not exist"));
    }
    core::Log::transcript().info("Loading the Vosk model in " + folder.string());
    native_ = library_.modelNew(folder.c_str());
    if (native_ == nullptr) {
        throw std::runtime_error("The folder " + folder.string() +
                                 " holds no Vosk model that can be loaded");
    }
    core::Log::transcript().info("Loaded the Vosk model in " + folder.string());
}

VoskModel::~VoskModel() {
    if (native_ != nullptr) {
        library_.modelFree(native_);
    }
}

} // namespace ambrel
