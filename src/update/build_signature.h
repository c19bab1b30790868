// The encodings around a build's detached signature: an ECDSA P-256
// signature over SHA-256 of the build file, as stock OpenSSL writes it
// (DER, then base64), and the public key as PEM. No cryptography here: the
// platform verifies; this only turns outside text into the raw forms the
// platform takes, and refuses anything that is not exactly that.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ravelin {

// The signature lies beside the build: its URL with ".sig" appended.
std::wstring SignatureUrl(std::wstring_view buildUrl);

// A signature file is a few hundred bytes at most; anything longer is not one.
inline constexpr std::size_t kMaxSignatureFileBytes = 4096;

// Standard base64 with "=" padding; white space anywhere is ignored. Nothing
// when another character, a misplaced "=" or a cut-off group appears.
std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text);

// r and s, 32 big-endian bytes each: what the platform's verifier takes.
using RawP256Signature = std::array<std::uint8_t, 64>;
// The public point's X and Y, 32 big-endian bytes each.
using P256PublicKey = std::array<std::uint8_t, 64>;

// A DER ECDSA-Sig-Value (SEQUENCE of two positive INTEGERs) as r||s.
// Strict DER only: short-form lengths, minimal integers, nothing after it.
std::optional<RawP256Signature> DerSignatureToRaw(std::span<const std::uint8_t> der);

// The base64 text of a signature file as r||s.
std::optional<RawP256Signature> ParseSignatureFile(std::string_view text);

// A SubjectPublicKeyInfo of an id-ecPublicKey on prime256v1 with an
// uncompressed point, in DER or in one PEM "PUBLIC KEY" block.
std::optional<P256PublicKey> ParseP256PublicKeyDer(std::span<const std::uint8_t> der);
std::optional<P256PublicKey> ParseP256PublicKeyPem(std::string_view pem);

}  // namespace ravelin
