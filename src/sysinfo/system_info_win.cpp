#include "sysinfo/system_info_win.h"

#include <cpuid.h>
#include <winioctl.h>

#include <cstring>
#include <string>

#include "common/unique_handle_win.h"
#include "sysinfo/os_class.h"

namespace ravelin {
namespace {

using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
using RtlGetNtProductTypeFn = BOOLEAN(WINAPI*)(DWORD*);

// Resolved once; a second resolution on another thread writes the same values.
RtlGetVersionFn g_rtlGetVersion = nullptr;
RtlGetNtProductTypeFn g_rtlGetNtProductType = nullptr;

template <class Fn>
Fn AsFunction(void* address) {
  return reinterpret_cast<Fn>(reinterpret_cast<INT_PTR>(address));
}

int CompareNoCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    const int ca = (*a >= 'a' && *a <= 'z') ? *a - 32 : *a;
    const int cb = (*b >= 'a' && *b <= 'z') ? *b - 32 : *b;
    if (ca != cb || ca == 0) return ca - cb;
  }
}

std::optional<std::wstring> ReadProductTypeText() {
  unique_hkey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\ProductOptions", 0, KEY_QUERY_VALUE,
                    key.put()) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  wchar_t text[41] = {};  // 80 bytes and a terminator
  DWORD size = 80;
  const LONG status =
      RegQueryValueExW(key.get(), L"ProductType", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
  if (status != ERROR_SUCCESS || size > 80) return std::nullopt;
  return std::wstring(text);
}

}  // namespace

void* FindExportByName(HMODULE module, const char* name) {
  if (module == nullptr || name == nullptr) return nullptr;
  const auto* base = reinterpret_cast<const BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE) return nullptr;
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (dir.VirtualAddress == 0 || dir.Size == 0) return nullptr;

  const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  const auto* ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
  const auto* functions = reinterpret_cast<const DWORD*>(base + exports->AddressOfFunctions);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    const auto* exportName = reinterpret_cast<const char*>(base + names[i]);
    if (CompareNoCase(exportName, name) != 0) continue;
    const WORD ordinal = ordinals[i];
    if (ordinal >= exports->NumberOfFunctions) return nullptr;
    // The image base recorded in the loaded header is where the module lies.
    return reinterpret_cast<void*>(static_cast<ULONG_PTR>(nt->OptionalHeader.ImageBase) + functions[ordinal]);
  }
  return nullptr;
}

bool GetRealVersion(OSVERSIONINFOEXW* info) {
  std::memset(info, 0, sizeof(*info));
  info->dwOSVersionInfoSize = sizeof(*info);
  if (g_rtlGetVersion == nullptr || g_rtlGetNtProductType == nullptr) {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) return false;
    g_rtlGetVersion = AsFunction<RtlGetVersionFn>(FindExportByName(ntdll, "RtlGetVersion"));
    g_rtlGetNtProductType = AsFunction<RtlGetNtProductTypeFn>(FindExportByName(ntdll, "RtlGetNtProductType"));
  }
  if (g_rtlGetVersion == nullptr) return false;
  const bool ok = g_rtlGetVersion(info) == 0;
  if (g_rtlGetNtProductType != nullptr) {
    DWORD productType = 1;
    if (g_rtlGetNtProductType(&productType)) info->wProductType = static_cast<BYTE>(productType & 0xFF);
  }
  return ok;
}

bool GetVersionInfo(OSVERSIONINFOW* info) {
  const DWORD size = info->dwOSVersionInfoSize;
  if (size == sizeof(OSVERSIONINFOW) || size == sizeof(OSVERSIONINFOEXW)) {
    OSVERSIONINFOEXW real;
    if (GetRealVersion(&real)) {
      std::memcpy(info, &real, size);
      info->dwOSVersionInfoSize = size;
      return true;
    }
  }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  return GetVersionExW(info) != FALSE;
#pragma GCC diagnostic pop
}

bool GetOsClass(DWORD* code, DWORD* build) {
  OSVERSIONINFOEXW ex{};
  ex.dwOSVersionInfoSize = sizeof(ex);
  bool extended = GetVersionInfo(reinterpret_cast<OSVERSIONINFOW*>(&ex));
  if (!extended) {
    std::memset(&ex, 0, sizeof(ex));
    ex.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
    if (!GetVersionInfo(reinterpret_cast<OSVERSIONINFOW*>(&ex))) return false;
  }

  SYSTEM_INFO system{};
  using GetNativeSystemInfoFn = void(WINAPI*)(SYSTEM_INFO*);
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const auto native =
      kernel != nullptr
          ? AsFunction<GetNativeSystemInfoFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "GetNativeSystemInfo")))
          : nullptr;
  if (native != nullptr) {
    native(&system);
  } else {
    GetSystemInfo(&system);
  }

  OsVersionFacts facts;
  facts.extended = extended;
  facts.major = ex.dwMajorVersion;
  facts.minor = ex.dwMinorVersion;
  facts.build = ex.dwBuildNumber;
  facts.platformId = ex.dwPlatformId;
  facts.suiteMask = extended ? ex.wSuiteMask : 0;
  facts.productType = extended ? ex.wProductType : 0;
  facts.nativeArchitecture = system.wProcessorArchitecture;
  facts.serverR2 = (ex.dwMajorVersion == 5 && ex.dwMinorVersion == 2) ? GetSystemMetrics(SM_SERVERR2) : 0;
  facts.systemLangId = GetSystemDefaultLangID();

  const std::optional<OsClass> result = ClassifyOs(facts, &ReadProductTypeText);
  if (!result) return true;  // classification stopped: outputs stay as the caller set them
  if (code != nullptr) *code = result->code;
  if (build != nullptr) *build = result->build;
  return true;
}

bool IsOs64Bit() {
  DWORD code = 0;
  GetOsClass(&code, nullptr);
  return (code & kOs64BitBit) != 0;
}

bool ReadRegString(HKEY root, const wchar_t* subKey, const wchar_t* valueName, void* buffer, DWORD bufferBytes) {
  REGSAM access = KEY_READ;
  if (IsOs64Bit()) access |= KEY_WOW64_64KEY;
  unique_hkey key;
  if (RegOpenKeyExW(root, subKey, 0, access, key.put()) != ERROR_SUCCESS) return false;
  DWORD size = bufferBytes;
  return RegQueryValueExW(key.get(), valueName, nullptr, nullptr, static_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS;
}

bool GetCpuSignature(wchar_t* buffer, std::size_t capacity) {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  __cpuid_count(1, 0, eax, ebx, ecx, edx);
  const std::wstring text = FormatCpuSignature(eax, ebx, ecx, edx);
  if (text.empty()) return false;
  if (capacity == 0) return true;
  const std::size_t n = std::min(text.size(), capacity - 1);
  text.copy(buffer, n);
  buffer[n] = L'\0';
  return true;
}

bool GetDiskIdentifyData(AtaIdentifyWords& words) {
  const int drive = 0;
  wchar_t path[64];
  swprintf(path, 64, L"\\\\.\\PhysicalDrive%d", drive);
  const unique_hfile device(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
  if (!device) return false;

  GETVERSIONINPARAMS version{};
  DWORD returned = 0;
  if (!DeviceIoControl(device.get(), SMART_GET_VERSION, nullptr, 0, &version, sizeof(version), &returned, nullptr) ||
      version.bIDEDeviceMap == 0) {
    return false;
  }

  SENDCMDINPARAMS in{};
  in.cBufferSize = 512;
  in.irDriveRegs.bFeaturesReg = 0;
  in.irDriveRegs.bSectorCountReg = 1;
  in.irDriveRegs.bSectorNumberReg = 1;
  in.irDriveRegs.bCylLowReg = 0;
  in.irDriveRegs.bCylHighReg = 0;
  in.irDriveRegs.bDriveHeadReg = static_cast<BYTE>(0xA0 | ((drive & 1) << 4));
  in.irDriveRegs.bCommandReg = (version.bIDEDeviceMap & 0x10) ? 0xA1 : 0xEC;
  in.bDriveNumber = static_cast<BYTE>(drive);

  BYTE out[sizeof(SENDCMDOUTPARAMS) - 1 + 512] = {};
  if (!DeviceIoControl(device.get(), SMART_RCV_DRIVE_DATA, &in, sizeof(SENDCMDINPARAMS) - 1, out, sizeof(out),
                       &returned, nullptr)) {
    return false;
  }

  const BYTE* data = reinterpret_cast<const SENDCMDOUTPARAMS*>(out)->bBuffer;
  for (std::size_t i = 0; i < words.size(); ++i) {
    words[i] = static_cast<std::uint32_t>(data[2 * i] | (data[2 * i + 1] << 8));
  }
  return true;
}

}  // namespace ravelin
