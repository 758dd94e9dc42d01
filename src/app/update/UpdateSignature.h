#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The Ed25519 signatures of releases. A signature covers the version the feed gives for the
// release, its length and a SHA-512 of its bytes, so that a feed can neither offer other bytes
// nor an older signed release under a newer version.
namespace ambrel::UpdateSignature {

// The largest file verify() accepts.
inline constexpr std::uintmax_t maximumSize = std::uintmax_t{1} << 30;

// What is signed: "ambrel-update\n<version>\n<length>\n<SHA-512 in lower-case hex>\n".
std::string signedMessage(std::string_view version, std::uint64_t length,
                          std::string_view sha512Hex);

// Whether `signature` (base64) signs `version`, `length` and the bytes of the open file `fd`
// (read from its start) for `publicKey` (base64). The file must be a regular file of exactly
// `length` bytes. Any malformed input answers false.
bool verify(int fd, std::string_view version, std::uint64_t length, std::string_view signature,
            std::string_view publicKey);

// Exactly `size` bytes in standard base64 (white space between is ignored); nothing otherwise.
std::optional<std::vector<unsigned char>> decodeBase64(std::string_view text, std::size_t size);

} // namespace ambrel::UpdateSignature
