// Holders for the kernel, registry, shell and CNG handles the program and
// its tools keep. GDI objects and DCs are in unique_gdi_win.h, network
// handles in unique_net_win.h, BSTRs and VARIANTs in unique_variant_win.h.
#pragma once

#include <windows.h>

#include <bcrypt.h>
#include <objbase.h>

// Beside this file, so the tools outside src/ reach it too.
#include "unique_any.h"

namespace ravelin {

namespace detail {

// The calls that open these fail with INVALID_HANDLE_VALUE; a null handle
// owns nothing either.
struct InvalidIsEmpty {
  using type = HANDLE;
  static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static bool IsValid(HANDLE value) noexcept { return value != INVALID_HANDLE_VALUE && value != nullptr; }
};

struct HandleTraits : NullIsEmpty<HANDLE> {
  static void Close(HANDLE value) noexcept { CloseHandle(value); }
};
struct FileHandleTraits : InvalidIsEmpty {
  static void Close(HANDLE value) noexcept { CloseHandle(value); }
};
struct FindHandleTraits : InvalidIsEmpty {
  static void Close(HANDLE value) noexcept { FindClose(value); }
};
struct KeyTraits : NullIsEmpty<HKEY> {
  static void Close(HKEY value) noexcept { RegCloseKey(value); }
};
struct MenuTraits : NullIsEmpty<HMENU> {
  static void Close(HMENU value) noexcept { DestroyMenu(value); }
};
struct IconTraits : NullIsEmpty<HICON> {
  static void Close(HICON value) noexcept { DestroyIcon(value); }
};
struct GlobalTraits : NullIsEmpty<HGLOBAL> {
  static void Close(HGLOBAL value) noexcept { GlobalFree(value); }
};
template <class Pointer>
struct CoTaskMemTraits : NullIsEmpty<Pointer> {
  static void Close(Pointer value) noexcept { CoTaskMemFree(value); }
};
struct AlgorithmTraits : NullIsEmpty<BCRYPT_ALG_HANDLE> {
  static void Close(BCRYPT_ALG_HANDLE value) noexcept { BCryptCloseAlgorithmProvider(value, 0); }
};
struct HashTraits : NullIsEmpty<BCRYPT_HASH_HANDLE> {
  static void Close(BCRYPT_HASH_HANDLE value) noexcept { BCryptDestroyHash(value); }
};
struct CryptKeyTraits : NullIsEmpty<BCRYPT_KEY_HANDLE> {
  static void Close(BCRYPT_KEY_HANDLE value) noexcept { BCryptDestroyKey(value); }
};

}  // namespace detail

// Events, threads, processes, pipes, duplicates: empty when null.
using unique_handle = unique_any<detail::HandleTraits>;
// Files and snapshots: empty when INVALID_HANDLE_VALUE.
using unique_hfile = unique_any<detail::FileHandleTraits>;
using unique_hfind = unique_any<detail::FindHandleTraits>;
using unique_hkey = unique_any<detail::KeyTraits>;
using unique_hmenu = unique_any<detail::MenuTraits>;
using unique_hicon = unique_any<detail::IconTraits>;
using unique_hglobal = unique_any<detail::GlobalTraits>;
// Memory the shell or COM hands out, e.g. unique_cotaskmem<PIDLIST_ABSOLUTE>.
template <class Pointer>
using unique_cotaskmem = unique_any<detail::CoTaskMemTraits<Pointer>>;
using unique_bcrypt_algorithm = unique_any<detail::AlgorithmTraits>;
using unique_bcrypt_hash = unique_any<detail::HashTraits>;
using unique_bcrypt_key = unique_any<detail::CryptKeyTraits>;

}  // namespace ravelin
