// Checks a downloaded build against its detached signature with the
// platform's own cryptography (CNG): ECDSA P-256 over SHA-256 of the file.
#pragma once

#include <string>

#include "update/build_signature.h"

namespace ravelin {

// True only when `signature` is `key`'s signature of the file's bytes. The
// file is read in pieces, never whole; an unreadable file is not signed.
bool VerifyFileSignature(const std::wstring& path, const RawP256Signature& signature, const P256PublicKey& key);

}  // namespace ravelin
