#include "update/build_signature.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace ravelin {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> Hex(std::string_view hex) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

// Made with stock OpenSSL: a P-256 key's "PUBLIC KEY" and its point.
constexpr std::string_view kPublicPem =
    "-----BEGIN PUBLIC KEY-----\n"
    "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAE9YIjvtvn5T3hOE6xeI5UspkqWIxz\n"
    "fHiMR74gDi+FnN7fXTRriJBF8qb9d7Kxl5/q/zWKTJsQPJr8iS5rgWs/Cg==\n"
    "-----END PUBLIC KEY-----\n";
constexpr std::string_view kPublicPoint =
    "f58223bedbe7e53de1384eb1788e54b2992a588c737c788c47be200e2f859cde"
    "df5d346b889045f2a6fd77b2b1979feaff358a4c9b103c9afc892e6b816b3f0a";
// A P-384 key: well-formed, but not a key the launcher can check with.
constexpr std::string_view kP384Pem =
    "-----BEGIN PUBLIC KEY-----\n"
    "MHYwEAYHKoZIzj0CAQYFK4EEACIDYgAEo/H/85eU4DFrfy8jnjtljEPAyxWZH3hp\n"
    "HWVgijM5qxVj51F9vcBiIjCTIN/DFcIc6Soii/HXQnmzcApsHjxKJtkbnvoMh1DV\n"
    "Z0OX8X0GlfE7N50zNHIvTUg9Pnm2rRY4\n"
    "-----END PUBLIC KEY-----\n";

TEST(Base64, DecodesPaddedGroupsIgnoringWhiteSpaceAndRefusesAnythingElse) {
  const struct {
    std::string_view text;
    std::optional<std::string_view> bytes;
  } cases[] = {
      {"", ""},
      {"TWFu", "Man"},
      {"TWE=", "Ma"},
      {"TQ==", "M"},
      {" T W\r\nFu\t\v\f", "Man"},
      {"TWFuTQ==\n", "ManM"},
      {"+/+/", "\xfb\xff\xbf"},
      {"TWF", std::nullopt},   // a group cut off
      {"TQ=", std::nullopt},   // padding cut off
      {"TW=u", std::nullopt},  // data after padding
      {"T===", std::nullopt},  // more padding than a group can have
      {"====", std::nullopt},
      {"TQ==TWFu", std::nullopt},  // a group after the padded one
      {"TQ===", std::nullopt},
      {"TWFu!", std::nullopt},
      {"TW-u", std::nullopt},  // the URL alphabet is not ours
      {std::string_view("TW\0u", 4), std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text));
    const auto decoded = DecodeBase64(c.text);
    ASSERT_EQ(decoded.has_value(), c.bytes.has_value());
    if (decoded) {
      EXPECT_EQ(*decoded, Bytes(*c.bytes));
    }
  }
}

TEST(SignatureDer, GivesRAndSRightAlignedAndRefusesAnythingButStrictDer) {
  const std::string r32(64, 'a'), s32(64, 'b');
  const struct {
    const char* name;
    std::string der;  // hex
    std::optional<std::string> raw;
  } cases[] = {
      {"as OpenSSL writes it",
       "30440220329ba37f2e23147ef03a30bee76460eea1e21c62981ab2c9703528befc0117b802204c86f34f7fe65c4ae7bb512f3a4649666"
       "71d05f12d6200d31409a1b7713ac2f3",
       "329ba37f2e23147ef03a30bee76460eea1e21c62981ab2c9703528befc0117b84c86f34f7fe65c4ae7bb512f3a464966671d05f12d6200"
       "d31409a1b7713ac2f3"},
      {"high bit set: a leading zero", "3046022100" + std::string(64, 'f') + "022100" + std::string(64, 'e'),
       std::string(64, 'f') + std::string(64, 'e')},
      {"short values are padded on the left", "300602017f020101",
       std::string(62, '0') + "7f" + std::string(62, '0') + "01"},
      {"trailing bytes", "300602017f02010100", std::nullopt},
      {"outer length wrong", "300702017f020101", std::nullopt},
      {"long-form length", "30810602017f020101", std::nullopt},
      {"negative value", "3006020180020101", std::nullopt},
      {"leading zero not needed", "30070202007f020101", std::nullopt},
      {"zero", "3006020100020101", std::nullopt},
      {"empty integer", "30050200020101", std::nullopt},
      {"33 bytes without a sign byte", "30460221" + std::string(66, '1') + "0221" + std::string(66, '1'), std::nullopt},
      {"one integer only", "300302017f", std::nullopt},
      {"not a sequence", "310602017f020101", std::nullopt},
      {"an octet string for r", "300604017f020101", std::nullopt},
      {"empty", "", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto raw = DerSignatureToRaw(Hex(c.der));
    ASSERT_EQ(raw.has_value(), c.raw.has_value());
    if (raw) {
      EXPECT_EQ(std::vector<std::uint8_t>(raw->begin(), raw->end()), Hex(*c.raw));
    }
  }
}

TEST(SignatureFile, ReadsBase64DerWithWhiteSpaceWithinItsSizeLimit) {
  const std::string text =
      "MEQCIDKbo38uIxR+8DowvudkYO6h4hximBqyyXA1KL78ARe4AiBMhvNPf+ZcSue7\r\nUS86RklmZx0F8S1iANMUCaG3cTrC8w==\n";
  const auto raw = ParseSignatureFile(text);
  ASSERT_TRUE(raw);
  EXPECT_EQ((*raw)[0], 0x32);
  EXPECT_EQ((*raw)[63], 0xf3);
  EXPECT_FALSE(ParseSignatureFile(text.substr(0, text.size() / 2)));
  // The same text after a flood of blanks is no longer a signature file.
  EXPECT_FALSE(ParseSignatureFile(std::string(kMaxSignatureFileBytes, ' ') + text));
  EXPECT_FALSE(ParseSignatureFile("<html>404</html>"));
}

TEST(PublicKeyPem, TakesOneP256KeyAndNothingElse) {
  const auto key = ParseP256PublicKeyPem(kPublicPem);
  ASSERT_TRUE(key);
  EXPECT_EQ(std::vector<std::uint8_t>(key->begin(), key->end()), Hex(kPublicPoint));
  EXPECT_TRUE(ParseP256PublicKeyPem("comment before\n" + std::string(kPublicPem) + "after\n"));

  const std::string pem(kPublicPem);
  const std::string twoKeys = pem + pem;
  std::string flipped = pem;
  flipped[40] = flipped[40] == 'A' ? 'B' : 'A';  // inside the fixed head: another algorithm or curve
  std::string broken = pem;
  broken[30] = '*';
  const std::string unterminated = pem.substr(0, pem.find("-----END"));
  const std::string_view refused[] = {kP384Pem, twoKeys, flipped, broken, unterminated, "", "PUBLIC KEY"};
  for (const std::string_view text : refused) EXPECT_FALSE(ParseP256PublicKeyPem(text)) << text;
}

TEST(PublicKeyDer, NeedsTheWholeUncompressedPointOfP256) {
  std::vector<std::uint8_t> der = Hex("3059301306072a8648ce3d020106082a8648ce3d03010703420004");
  const std::vector<std::uint8_t> point = Hex(kPublicPoint);
  der.insert(der.end(), point.begin(), point.end());
  ASSERT_TRUE(ParseP256PublicKeyDer(der));
  EXPECT_FALSE(ParseP256PublicKeyDer(std::span(der).first(der.size() - 1)));
  std::vector<std::uint8_t> compressed = der;
  compressed[26] = 0x02;
  EXPECT_FALSE(ParseP256PublicKeyDer(compressed));
  der.push_back(0);
  EXPECT_FALSE(ParseP256PublicKeyDer(der));
}

}  // namespace
}  // namespace ravelin
