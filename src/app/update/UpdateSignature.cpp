#include "UpdateSignature.h"

#include <fmt/format.h>
#include <sodium.h>

#include <sys/mman.h>
#include <sys/stat.h>

namespace ambrel::UpdateSignature {

namespace {

// A SHA-512 of the whole file, mapped rather than read: a release may be hundreds of megabytes.
std::optional<std::string> sha512Hex(int fd, std::size_t size) {
    void* mapped = size == 0 ? nullptr : ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapped == MAP_FAILED) {
        return std::nullopt;
    }
    static const unsigned char nothing = 0;
    unsigned char digest[crypto_hash_sha512_BYTES];
    crypto_hash_sha512(digest, size == 0 ? &nothing : static_cast<const unsigned char*>(mapped),
                       size);
    if (mapped != nullptr) {
        ::munmap(mapped, size);
    }
    char hex[sizeof digest * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
    return std::string(hex, sizeof digest * 2);
}

} // namespace

std::string signedMessage(std::string_view version, std::uint64_t length,
                          std::string_view sha512Hex) {
    return fmt::format("ambrel-update\n{}\n{}\n{}\n", version, length, sha512Hex);
}

std::optional<std::vector<unsigned char>> decodeBase64(std::string_view text, std::size_t size) {
    // The decoder's own checks let some bytes above 0x7F through as if they were letters.
    static constexpr std::string_view alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/= \n\r\t";
    if (text.find_first_not_of(alphabet) != std::string_view::npos || sodium_init() < 0) {
        return std::nullopt;
    }
    // One byte more than wanted, so that a longer text shows up as too long.
    std::vector<unsigned char> bytes(size + 1);
    std::size_t length = 0;
    const char* end = nullptr;
    if (sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), " \n\r\t", &length,
                          &end, sodium_base64_VARIANT_ORIGINAL) != 0 ||
        end != text.data() + text.size() || length != size) {
        return std::nullopt;
    }
    bytes.resize(size);
    return bytes;
}

bool verify(int fd, std::string_view version, std::uint64_t length, std::string_view signature,
            std::string_view publicKey) {
    const auto key = decodeBase64(publicKey, crypto_sign_PUBLICKEYBYTES);
    const auto signed_ = decodeBase64(signature, crypto_sign_BYTES);
    if (!key || !signed_) {
        return false;
    }
    // Version and length are what the feed says; a line break in either could shift the fields.
    if (version.empty() || version.find('\n') != std::string_view::npos) {
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uintmax_t>(info.st_size) > maximumSize ||
        static_cast<std::uint64_t>(info.st_size) != length) {
        return false;
    }
    const auto digest = sha512Hex(fd, static_cast<std::size_t>(info.st_size));
    if (!digest) {
        return false;
    }
    const auto message = signedMessage(version, length, *digest);
    return crypto_sign_verify_detached(signed_->data(),
                                       reinterpret_cast<const unsigned char*>(message.data()),
                                       message.size(), key->data()) == 0;
}

} // namespace ambrel::UpdateSignature
