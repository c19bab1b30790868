// A signature file and a key file are outside text: whatever they hold, the
// parsers must neither crash nor read past it, and what they accept must
// have the shape the platform's verifier takes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>

#include "update/build_signature.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::span<const std::uint8_t> bytes(data, size);

  if (const auto decoded = ravelin::DecodeBase64(text)) {
    std::size_t symbols = 0;
    for (const char c : text) symbols += c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\v' && c != '\f';
    if (symbols % 4 != 0 || decoded->size() > symbols / 4 * 3) std::abort();
  }
  // Two INTEGERs of at most 33 bytes in a short-form SEQUENCE.
  if (ravelin::DerSignatureToRaw(bytes) && (size < 8 || size > 72)) std::abort();
  ravelin::ParseSignatureFile(text);
  if (ravelin::ParseP256PublicKeyDer(bytes) && size != 91) std::abort();
  ravelin::ParseP256PublicKeyPem(text);
  return 0;
}
