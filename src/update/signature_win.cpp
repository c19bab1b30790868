#include "update/signature_win.h"

#include <windows.h>

#include <bcrypt.h>

#include <array>
#include <cstring>
#include <memory>
#include <tuple>
#include <vector>

namespace ravelin {
namespace {

struct AlgorithmCloser {
  void operator()(BCRYPT_ALG_HANDLE handle) const { BCryptCloseAlgorithmProvider(handle, 0); }
};
struct HashCloser {
  void operator()(BCRYPT_HASH_HANDLE handle) const { BCryptDestroyHash(handle); }
};
struct KeyCloser {
  void operator()(BCRYPT_KEY_HANDLE handle) const { BCryptDestroyKey(handle); }
};
struct FileCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Algorithm = std::unique_ptr<void, AlgorithmCloser>;
using Hash = std::unique_ptr<void, HashCloser>;
using Key = std::unique_ptr<void, KeyCloser>;
using File = std::unique_ptr<void, FileCloser>;

bool Succeeded(NTSTATUS status) { return status >= 0; }

Algorithm OpenAlgorithm(LPCWSTR name) {
  BCRYPT_ALG_HANDLE handle = nullptr;
  if (!Succeeded(BCryptOpenAlgorithmProvider(&handle, name, nullptr, 0))) return nullptr;
  return Algorithm(handle);
}

constexpr DWORD kReadPiece = 64 * 1024;
using Sha256 = std::array<UCHAR, 32>;

bool HashFile(const std::wstring& path, Sha256& digest) {
  const HANDLE raw = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (raw == INVALID_HANDLE_VALUE) return false;
  const File file(raw);
  const Algorithm sha256 = OpenAlgorithm(BCRYPT_SHA256_ALGORITHM);
  if (!sha256) return false;
  BCRYPT_HASH_HANDLE hashHandle = nullptr;
  if (!Succeeded(BCryptCreateHash(sha256.get(), &hashHandle, nullptr, 0, nullptr, 0, 0))) return false;
  const Hash hash(hashHandle);
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

  const Algorithm ecdsa = OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
  if (!ecdsa) return false;
  // BCRYPT_ECCPUBLIC_BLOB: the header, then X and Y.
  std::array<UCHAR, sizeof(BCRYPT_ECCKEY_BLOB) + std::tuple_size_v<P256PublicKey>> blob{};
  const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
  std::memcpy(blob.data(), &header, sizeof(header));
  std::memcpy(blob.data() + sizeof(header), key.data(), key.size());
  BCRYPT_KEY_HANDLE keyHandle = nullptr;
  if (!Succeeded(BCryptImportKeyPair(ecdsa.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &keyHandle, blob.data(),
                                     static_cast<ULONG>(blob.size()), 0))) {
    return false;
  }
  const Key publicKey(keyHandle);
  // Only STATUS_SUCCESS is a good signature; any other status is not.
  return BCryptVerifySignature(publicKey.get(), nullptr, digest.data(), static_cast<ULONG>(digest.size()),
                               const_cast<PUCHAR>(signature.data()), static_cast<ULONG>(signature.size()), 0) == 0;
}

}  // namespace ravelin
