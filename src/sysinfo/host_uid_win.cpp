#include "sysinfo/host_uid_win.h"

#include <windows.h>

#include <algorithm>

#include "sysinfo/host_uid.h"
#include "sysinfo/system_info_win.h"

namespace ravelin {

HostUid ComputeHostUid() {
  HostUid uid;
  AtaIdentifyWords words{};
  if (GetDiskIdentifyData(words)) {
    uid.form = HostUidForm::Disk;
    uid.text = FormatDiskHostUid(ExtractAtaString(words, 10, 19), ExtractAtaString(words, 27, 46));
    return uid;
  }

  // When the query fails the serial number reads as 0.
  DWORD volumeSerial = 0;
  if (!GetVolumeInformationW(nullptr, nullptr, 0, &volumeSerial, nullptr, nullptr, nullptr, 0)) volumeSerial = 0;

  wchar_t base[520] = {};
  if (GetCpuSignature(base, 520)) {
    uid.form = HostUidForm::CpuSignature;
  } else if (ReadRegString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", L"MachineGuid", base,
                           520)) {  // 520 bytes: at most 259 characters and a terminator
    uid.form = HostUidForm::MachineGuid;
  }
  uid.text = FormatFallbackHostUid(base, volumeSerial);
  return uid;
}

void GetHostUid(wchar_t* buffer, std::size_t capacity) {
  if (buffer == nullptr || capacity == 0) return;
  std::fill(buffer, buffer + capacity, L'\0');
  const std::wstring text = ComputeHostUid().text;
  const std::size_t n = std::min(text.size(), capacity - 1);
  text.copy(buffer, n);
}

}  // namespace ravelin
