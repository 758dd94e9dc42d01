#include "FileDigest.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <openssl/evp.h>
#include <stdexcept>
#include <vector>

namespace ambrel {

std::optional<std::string> FileDigest::hex(Algorithm algorithm, const std::filesystem::path& file,
                                           const std::function<bool()>& proceed) {
    const std::unique_ptr<std::FILE, decltype(&std::fclose)> input(std::fopen(file.c_str(), "rb"),
                                                                   std::fclose);
    if (!input) {
        throw std::runtime_error("cannot read " + file.filename().string());
    }
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                          EVP_MD_CTX_free);
    const EVP_MD* method = algorithm == Algorithm::sha256 ? EVP_sha256() : EVP_md5();
    if (!context || EVP_DigestInit_ex(context.get(), method, nullptr) != 1) {
        throw std::runtime_error("cannot compute checksums");
    }
    std::vector<unsigned char> buffer(1 << 20);
    while (true) {
        if (proceed && !proceed()) {
            return std::nullopt;
        }
        const std::size_t count = std::fread(buffer.data(), 1, buffer.size(), input.get());
        if (count > 0 && EVP_DigestUpdate(context.get(), buffer.data(), count) != 1) {
            throw std::runtime_error("cannot compute checksums");
        }
        if (count < buffer.size()) {
            if (std::ferror(input.get()) != 0) {
                throw std::runtime_error("cannot read " + file.filename().string());
            }
            break;
        }
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) {
        throw std::runtime_error("cannot compute checksums");
    }
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += digits[digest[i] >> 4];
        text += digits[digest[i] & 0xf];
    }
    return text;
}

bool FileDigest::same(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

} // namespace ambrel
