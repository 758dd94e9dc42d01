#include "UpdateSignature.h"

#include "core/FileAccess.h"

#include <sodium.h>

#include <vector>

namespace ambrel::UpdateSignature {

namespace {

constexpr std::uintmax_t maximumFileSize = std::uintmax_t{1} << 30;

bool decode(std::string_view text, unsigned char* out, std::size_t size) {
    std::size_t length = 0;
    return sodium_base642bin(out, size, text.data(), text.size(), " \n\r\t", &length, nullptr,
                             sodium_base64_VARIANT_ORIGINAL) == 0 &&
           length == size;
}

} // namespace

bool verify(const std::filesystem::path& file, std::string_view signature,
            std::string_view publicKey) {
    if (sodium_init() < 0) {
        return false;
    }
    unsigned char key[crypto_sign_PUBLICKEYBYTES];
    unsigned char signed_[crypto_sign_BYTES];
    if (!decode(publicKey, key, sizeof key) || !decode(signature, signed_, sizeof signed_)) {
        return false;
    }
    std::string bytes;
    try {
        bytes = core::FileAccess::read(file, maximumFileSize);
    } catch (const std::exception&) {
        return false;
    }
    return crypto_sign_verify_detached(signed_,
                                       reinterpret_cast<const unsigned char*>(bytes.data()),
                                       bytes.size(), key) == 0;
}

} // namespace ambrel::UpdateSignature
