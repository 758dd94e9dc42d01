#pragma once

#include "ScopedEnvironment.h"
#include "TemporaryFolder.h"

namespace ambrel::testing {

// A home folder of its own for the lifetime of the object: HOME and the XDG config, data, cache
// and runtime folders point into a temporary folder, so that programs run by a test keep their
// settings, models and sockets out of the user's.
class IsolatedHome {
public:
    IsolatedHome();

    const std::filesystem::path& path() const { return folder.path(); }

    TemporaryFolder folder;

private:
    ScopedEnvironment home_;
    ScopedEnvironment config_;
    ScopedEnvironment data_;
    ScopedEnvironment cache_;
    ScopedEnvironment runtime_;
};

} // namespace ambrel::testing
