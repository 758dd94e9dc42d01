// Signatures and keys come from the release feed and the build: the base64 reader must take
// exactly the bytes asked for, and what it takes must encode back to the text it read.
#include "FuzzFailure.h"
#include "app/update/UpdateSignature.h"

#include <sodium.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    // The first byte picks the length wanted: a public key, a signature, or anything small.
    const std::size_t wanted = data[0] < 96 ? 32 : data[0] < 192 ? 64 : data[0] % 8;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const auto bytes = ambrel::UpdateSignature::decodeBase64(text, wanted);
    if (!bytes) {
        return 0;
    }
    if (bytes->size() != wanted) {
        ambrel::fuzz::fail("decoded a length other than the one asked for",
                           std::to_string(bytes->size()) + " for " + std::to_string(wanted));
    }
    std::string encoded(sodium_base64_encoded_len(wanted, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(encoded.data(), encoded.size(), bytes->data(), bytes->size(),
                      sodium_base64_VARIANT_ORIGINAL);
    encoded.pop_back();
    std::string read(text);
    read.erase(
        std::remove_if(read.begin(), read.end(),
                       [](char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }),
        read.end());
    if (read != encoded) {
        ambrel::fuzz::fail("the text read does not encode these bytes");
    }
    return 0;
}
