// The release feed comes from the network: any text must either be refused with Appcast::Error
// or give releases that keep the parser's promises.
#include "FuzzFailure.h"
#include "app/update/Appcast.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using ambrel::Appcast;
    using ambrel::fuzz::fail;
    const std::string_view xml(reinterpret_cast<const char*>(data), size);
    Appcast appcast;
    try {
        appcast = Appcast::parse(xml);
    } catch (const Appcast::Error&) {
        return 0;
    }
    if (appcast.items.size() > 1000) {
        fail("more releases than the limit were kept");
    }
    for (const auto& item : appcast.items) {
        for (const auto& download : item.downloads) {
            if (download.url.empty() || download.signature.empty()) {
                fail("a download that cannot be checked was offered");
            }
        }
    }
    const auto oldest = *ambrel::core::AppVersion::parse("0");
    if (const auto newest = appcast.newest(oldest)) {
        const auto version = ambrel::core::AppVersion::parse(newest->version);
        if (!version || !(oldest < *version) || newest->downloads.empty() ||
            newest->shortVersion.empty()) {
            fail("the newest release is not newer, or has nothing to download");
        }
        if (appcast.newest(*version)) {
            fail("a release newer than the newest was found");
        }
    }
    return 0;
}
