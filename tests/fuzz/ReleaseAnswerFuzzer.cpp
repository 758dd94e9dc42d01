// The store's lookup answer is untrusted: any bytes must give a release or none, never a crash,
// and a release read from it must behave.
#include "FuzzFailure.h"
#include "core/AppStoreRelease.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const auto release = ambrel::core::AppStoreRelease::parse(body);
    if (release) {
        const auto current = *ambrel::core::AppVersion::parse("1.0");
        (void)release->isUpdate(current, current, 1.7e9, 0.5);
        if (!release->appStorePage() || release->version.parts().empty()) {
            ambrel::fuzz::fail("a parsed release lacks its version or page");
        }
    }
    return 0;
}
