// The model list comes from a server: any bytes must give a list or none, and every model named
// in it must be safe to fetch and to install under its locale's folder.
#include "FuzzFailure.h"
#include "speech/ModelCatalog.h"

#include <cstdint>
#include <string_view>

namespace {

using ambrel::fuzz::fail;

bool isLanguageTag(const std::string& locale) {
    if (locale.empty() || locale.front() == '-' || locale.back() == '-' ||
        locale.find("--") != std::string::npos) {
        return false;
    }
    for (const char c : locale) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && !(c >= '0' && c <= '9') && c != '-') {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto entries = ambrel::ModelCatalog::parse(text);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& entry = entries[i];
        // The locale names the folder the model is unpacked into.
        if (!isLanguageTag(entry.locale)) {
            fail("a model's locale is not a language tag", entry.locale);
        }
        if (!entry.archive.url.starts_with("https://")) {
            fail("a model would be fetched without encryption", entry.archive.url);
        }
        if (i > 0 && !(entries[i - 1].locale < entry.locale)) {
            fail("two models for one locale, or out of order", entry.locale);
        }
    }
    return 0;
}
