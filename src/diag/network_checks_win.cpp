// What the diagnostics measure: the machine's gateway and DNS servers, a few
// public sites, and the host of the game page or its server.
#include <winsock2.h>

#include <iphlpapi.h>
#include <windows.h>

#include <new>
#include <vector>

#include "common/ansi_win.h"
#include "diag/diagnostics_win.h"
#include "i18n/language_win.h"

namespace ravelin {
bool CGameException::ReadNetworkConfig() {
  // Buffer sizes are asked of the system: they differ between versions and
  // grow with the number of adapters and servers.
  ULONG size = 0;
  if (GetAdaptersInfo(nullptr, &size) == ERROR_BUFFER_OVERFLOW && size != 0) {
    std::vector<unsigned char> buffer(size);
    auto* adapters = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
    if (GetAdaptersInfo(adapters, &size) == ERROR_SUCCESS) {
      m_gateway = FromThreadAnsi(adapters->GatewayList.IpAddress.String);
    }
  }

  size = 0;
  DWORD result = GetNetworkParams(nullptr, &size);
  if (result != ERROR_BUFFER_OVERFLOW || size == 0) return false;
  std::vector<unsigned char> buffer;
  try {
    buffer.resize(size);
  } catch (const std::bad_alloc&) {
    return true;
  }
  auto* params = reinterpret_cast<FIXED_INFO*>(buffer.data());
  if (GetNetworkParams(params, &size) != ERROR_SUCCESS) return false;
  // A machine without DNS servers lists one empty address: nothing to ping.
  for (const IP_ADDR_STRING* server = &params->DnsServerList; server != nullptr; server = server->Next) {
    std::wstring address = FromThreadAnsi(server->IpAddress.String);
    if (!address.empty()) m_dnsServers.push_back(std::move(address));
  }
  return true;
}

bool CGameException::PingGateway() { return PingProbe(m_gateway, L"Gateway"); }

void CGameException::PingDnsServers() {
  for (const std::wstring& server : m_dnsServers) PingProbe(server, L"DNS");
}

void CGameException::ProbeConnectivity() {
  PingGateway();
  PingDnsServers();
  bool reachable = false;
  for (const std::wstring& site : m_publicSites) {
    if (PingProbe(site, L"publicurl")) reachable = true;
  }
  m_publicReachable = reachable;
}

void CGameException::CheckGameUrl(const std::wstring& gameAddress) {
  const std::wstring host = GameUrlHost(gameAddress);
  if (!PingProbe(host, L"PGameUlr")) {
    std::wstring list = m_serverList;
    if (list.empty()) g_Language.GetServerList(list);
    if (const std::optional<std::wstring> server = FindGameServer(list, host)) {
      if (!PingProbe(*server, L"PGameUrl") && m_publicReachable) TraceRouteProbe(*server, L"TGameUrl");
    }
  }
  UploadDiagLog();
}

}  // namespace ravelin
