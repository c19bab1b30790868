// Holders for the network: WinINet handles, sockets and the Winsock session
// itself.
#pragma once

#include <winsock2.h>

#include <windows.h>

#include <wininet.h>

#include "unique_any.h"

namespace ravelin {

namespace detail {

struct InternetTraits : NullIsEmpty<HINTERNET> {
  static void Close(HINTERNET value) noexcept { InternetCloseHandle(value); }
};

struct SocketTraits {
  using type = SOCKET;
  static SOCKET Invalid() noexcept { return INVALID_SOCKET; }
  static bool IsValid(SOCKET value) noexcept { return value != INVALID_SOCKET; }
  static void Close(SOCKET value) noexcept { closesocket(value); }
};

// A successful WSAStartup, which one WSACleanup undoes.
struct WinsockTraits {
  using type = bool;
  static bool Invalid() noexcept { return false; }
  static bool IsValid(bool started) noexcept { return started; }
  static void Close(bool) noexcept { WSACleanup(); }
};

}  // namespace detail

using unique_hinternet = unique_any<detail::InternetTraits>;
using unique_socket = unique_any<detail::SocketTraits>;
using unique_wsa_session = unique_any<detail::WinsockTraits>;

// Starts Winsock at `version` and fills `data`; empty when it did not start.
inline unique_wsa_session StartWinsock(WORD version, WSADATA& data) {
  return unique_wsa_session(WSAStartup(version, &data) == 0);
}

}  // namespace ravelin
