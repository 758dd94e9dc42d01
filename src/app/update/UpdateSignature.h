#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace ambrel::UpdateSignature {

// The largest file verify() accepts.
inline constexpr std::uintmax_t maximumSize = std::uintmax_t{1} << 30;

// Whether `signature` (base64, Ed25519) signs the file's bytes for `publicKey` (base64). Any
// malformed input answers false.
bool verify(const std::filesystem::path& file, std::string_view signature,
            std::string_view publicKey);

} // namespace ambrel::UpdateSignature
