// `verify` on Windows: the launcher's own check of a downloaded build (its
// signature parser and the platform's verifier), so support can see what
// the launcher would say of a build and its .sig.
#include <cstdio>
#include <optional>
#include <string>

#include "common/utf8.h"
#include "tool/signing_commands.h"
#include "update/build_signature.h"
#include "update/signature_win.h"

namespace ravelin::tool {
namespace {

// A key or signature file is small; anything longer than `limit` is not one.
std::optional<std::string> ReadSmallFile(const std::wstring& path, std::size_t limit) {
  std::FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return std::nullopt;
  std::string text(limit + 1, '\0');
  const std::size_t got = std::fread(text.data(), 1, text.size(), file);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed || got > limit) return std::nullopt;
  text.resize(got);
  return text;
}

}  // namespace

int Verify(const std::vector<std::wstring>& argv) {
  std::wstring path, keyPath, sigPath;
  for (std::size_t i = 2; i < argv.size(); ++i) {
    if ((argv[i] == L"--key" || argv[i] == L"--sig") && i + 1 < argv.size()) {
      std::wstring& option = argv[i] == L"--key" ? keyPath : sigPath;
      option = argv[++i];
    } else if (path.empty()) {
      path = argv[i];
    } else {
      path.clear();
      break;
    }
  }
  if (path.empty() || keyPath.empty()) {
    std::fputs("usage: ravelin-tool verify FILE --key PUBLIC.pem [--sig SIGFILE]\n", stderr);
    return 2;
  }
  if (sigPath.empty()) sigPath = path + L".sig";

  const std::optional<std::string> pem = ReadSmallFile(keyPath, 16 * 1024);
  const std::optional<P256PublicKey> key = pem ? ParseP256PublicKeyPem(*pem) : std::nullopt;
  if (!key) {
    std::fprintf(stderr, "%s holds no P-256 \"PUBLIC KEY\"\n", ToUtf8(keyPath).c_str());
    return 2;
  }
  const std::optional<std::string> text = ReadSmallFile(sigPath, kMaxSignatureFileBytes);
  if (!text) {
    std::printf("BAD signature: cannot read %s as a signature file\n", ToUtf8(sigPath).c_str());
    return 1;
  }
  const std::optional<RawP256Signature> signature = ParseSignatureFile(*text);
  if (!signature) {
    std::printf("BAD signature: %s holds no base64 DER-encoded ECDSA signature\n", ToUtf8(sigPath).c_str());
    return 1;
  }
  if (!VerifyFileSignature(path, *signature, *key)) {
    std::printf("BAD signature: it does not match %s and this key\n", ToUtf8(path).c_str());
    return 1;
  }
  std::puts("good signature");
  return 0;
}

}  // namespace ravelin::tool
