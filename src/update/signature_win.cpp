#include "update/signature_win.h"

#include <windows.h>

#include <bcrypt.h>

#include <array>
#include <cstring>
#include <tuple>
#include <vector>

#include "common/unique_handle_win.h"

namespace ravelin {
namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

unique_bcrypt_algorithm OpenAlgorithm(LPCWSTR name) {
  unique_bcrypt_algorithm algorithm;
  if (!Succeeded(BCryptOpenAlgorithmProvider(algorithm.put(), name, nullptr, 0))) algorithm.reset();
  return algorithm;
}

constexpr DWORD kReadPiece = 64 * 1024;
using Sha256 = std::array<UCHAR, 32>;

bool HashFile(const std::wstring& path, Sha256& digest) {
  const unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return false;
  const unique_bcrypt_algorithm sha256 = OpenAlgorithm(BCRYPT_SHA256_ALGORITHM);
  if (!sha256) return false;
  unique_bcrypt_hash hash;
  if (!Succeeded(BCryptCreateHash(sha256.get(), hash.put(), nullptr, 0, nullptr, 0, 0))) return false;
  std::vector<UCHAR> piece(kReadPiece);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), piece.data(), kReadPiece, &got, nullptr)) return false;
    if (got == 0) break;
    if (!Succeeded(BCryptHashData(hash.get(), piece.data(), got, 0))) return false;
  }
  return Succeeded(BCryptFinishHash(hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0));
}

}  // namespace

bool VerifyFileSignature(const std::wstring& path, const RawP256Signature& signature, const P256PublicKey& key) {
  Sha256 digest{};
  if (!HashFile(path, digest)) return false;

  const unique_bcrypt_algorithm ecdsa = OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
  if (!ecdsa) return false;
  // BCRYPT_ECCPUBLIC_BLOB: the header, then X and Y.
  std::array<UCHAR, sizeof(BCRYPT_ECCKEY_BLOB) + std::tuple_size_v<P256PublicKey>> blob{};
  const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
  std::memcpy(blob.data(), &header, sizeof(header));
  std::memcpy(blob.data() + sizeof(header), key.data(), key.size());
  unique_bcrypt_key publicKey;
  if (!Succeeded(BCryptImportKeyPair(ecdsa.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, publicKey.put(), blob.data(),
                                     static_cast<ULONG>(blob.size()), 0))) {
    return false;
  }
  // Only STATUS_SUCCESS is a good signature; any other status is not.
  return BCryptVerifySignature(publicKey.get(), nullptr, digest.data(), static_cast<ULONG>(digest.size()),
                               const_cast<PUCHAR>(signature.data()), static_cast<ULONG>(signature.size()), 0) == 0;
}

}  // namespace ravelin
