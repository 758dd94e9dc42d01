#include "UpdateSignature.h"

#include <sodium.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ambrel::UpdateSignature {

namespace {

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
    // Mapped rather than read: a release may be hundreds of megabytes.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uintmax_t>(info.st_size) > maximumSize) {
        ::close(fd);
        return false;
    }
    const auto size = static_cast<std::size_t>(info.st_size);
    void* mapped = size == 0 ? nullptr : ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (mapped == MAP_FAILED) {
        return false;
    }
    static const unsigned char nothing = 0;
    const bool valid =
        crypto_sign_verify_detached(
            signed_, size == 0 ? &nothing : static_cast<const unsigned char*>(mapped), size, key) ==
        0;
    if (mapped != nullptr) {
        ::munmap(mapped, size);
    }
    return valid;
}

} // namespace ambrel::UpdateSignature
