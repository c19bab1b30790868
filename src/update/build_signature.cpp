#include "update/build_signature.h"

#include <algorithm>

namespace ravelin {
namespace {

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// The DER of a P-256 public key before its point's X and Y: SEQUENCE {
// SEQUENCE { id-ecPublicKey, prime256v1 }, BIT STRING { 0 unused bits,
// 0x04 (uncompressed) ... } }.
constexpr std::uint8_t kP256SpkiPrefix[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48,
                                            0xce, 0x3d, 0x02, 0x01, 0x06, 0x08, 0x2a, 0x86, 0x48,
                                            0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00, 0x04};

constexpr std::string_view kPemBegin = "-----BEGIN PUBLIC KEY-----";
constexpr std::string_view kPemEnd = "-----END PUBLIC KEY-----";

// One DER INTEGER at `at` holding a positive value of at most 32 bytes,
// written right-aligned into `out`. Advances `at` past it.
bool ReadScalar(std::span<const std::uint8_t> der, std::size_t& at, std::uint8_t* out) {
  if (der.size() - at < 2 || der[at] != 0x02) return false;
  const std::size_t length = der[at + 1];
  at += 2;
  if (length == 0 || length > 33 || der.size() - at < length) return false;
  std::span<const std::uint8_t> value = der.subspan(at, length);
  at += length;
  if ((value[0] & 0x80) != 0) return false;  // negative
  if (value[0] == 0) {
    if (value.size() == 1 || (value[1] & 0x80) == 0) return false;  // not minimal, or zero
    value = value.subspan(1);
  }
  if (value.size() > 32) return false;
  std::copy(value.begin(), value.end(), out + (32 - value.size()));
  return true;
}

}  // namespace

std::wstring SignatureUrl(std::wstring_view buildUrl) { return std::wstring(buildUrl) + L".sig"; }

std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text) {
  std::vector<std::uint8_t> out;
  out.reserve(text.size() / 4 * 3);
  std::uint32_t group = 0;
  int inGroup = 0;
  int padding = 0;
  for (const char c : text) {
    if (IsBlank(c)) continue;
    if (c == '=') {
      // Only the last one or two places of the final group.
      if (inGroup < 2) return std::nullopt;
      ++padding;
      ++inGroup;
    } else {
      const int value = Base64Value(c);
      if (value < 0 || padding != 0) return std::nullopt;
      group = (group << 6) | static_cast<std::uint32_t>(value);
      ++inGroup;
    }
    if (inGroup == 4) {
      group <<= 6 * padding;
      out.push_back(static_cast<std::uint8_t>(group >> 16));
      if (padding < 2) out.push_back(static_cast<std::uint8_t>(group >> 8));
      if (padding < 1) out.push_back(static_cast<std::uint8_t>(group));
      if (padding != 0) padding = 3;  // nothing may follow a padded group
      group = 0;
      inGroup = 0;
    }
  }
  if (inGroup != 0) return std::nullopt;
  return out;
}

std::optional<RawP256Signature> DerSignatureToRaw(std::span<const std::uint8_t> der) {
  if (der.size() < 2 || der[0] != 0x30 || (der[1] & 0x80) != 0 || der.size() != 2u + der[1]) return std::nullopt;
  RawP256Signature raw{};
  std::size_t at = 2;
  if (!ReadScalar(der, at, raw.data()) || !ReadScalar(der, at, raw.data() + 32) || at != der.size()) {
    return std::nullopt;
  }
  return raw;
}

std::optional<RawP256Signature> ParseSignatureFile(std::string_view text) {
  if (text.size() > kMaxSignatureFileBytes) return std::nullopt;
  const auto der = DecodeBase64(text);
  if (!der) return std::nullopt;
  return DerSignatureToRaw(*der);
}

std::optional<P256PublicKey> ParseP256PublicKeyDer(std::span<const std::uint8_t> der) {
  constexpr std::size_t kPrefix = sizeof(kP256SpkiPrefix);
  if (der.size() != kPrefix + 64 || !std::equal(der.begin(), der.begin() + kPrefix, kP256SpkiPrefix)) {
    return std::nullopt;
  }
  P256PublicKey key{};
  std::copy(der.begin() + kPrefix, der.end(), key.begin());
  return key;
}

std::optional<P256PublicKey> ParseP256PublicKeyPem(std::string_view pem) {
  const std::size_t begin = pem.find(kPemBegin);
  if (begin == std::string_view::npos) return std::nullopt;
  const std::size_t body = begin + kPemBegin.size();
  const std::size_t end = pem.find(kPemEnd, body);
  if (end == std::string_view::npos) return std::nullopt;
  // One key per file: a second block would leave it open which one counts.
  if (pem.find(kPemBegin, end) != std::string_view::npos) return std::nullopt;
  const auto der = DecodeBase64(pem.substr(body, end - body));
  if (!der) return std::nullopt;
  return ParseP256PublicKeyDer(*der);
}

}  // namespace ravelin
