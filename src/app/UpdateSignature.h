#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace ambrel::UpdateSignature {

// Whether `signature` (base64, Ed25519) signs the file's bytes for `publicKey` (base64). Any
// malformed input answers false.
bool verify(const std::filesystem::path& file, std::string_view signature,
            std::string_view publicKey);

} // namespace ambrel::UpdateSignature
