// Facts about the machine: the OS code word, registry reads through the
// right view, the processor signature and the first disk's identify data.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "sysinfo/host_uid.h"

namespace ravelin {

// Code word and build number (either may be null). False, outputs untouched,
// when no version record can be read; true otherwise, with the outputs
// written unless an NT 3/4 system's ProductType could not be read.
bool GetOsClass(DWORD* code, DWORD* build);

// True when the code word of this machine says 64-bit Windows.
bool IsOs64Bit();

// Fills a version record whose size field is 276 (plain) or 284 (extended).
bool GetVersionInfo(OSVERSIONINFOW* info);
// The kernel's own version (RtlGetVersion), unaffected by compatibility shims.
bool GetRealVersion(OSVERSIONINFOEXW* info);
// The address of an export of a loaded module, found by walking its export
// directory; null when absent.
void* FindExportByName(HMODULE module, const char* name);

// Reads a value into the caller's buffer (bytes), through the 64-bit view on
// a 64-bit system. The text is not terminated: clear the buffer first.
bool ReadRegString(HKEY root, const wchar_t* subKey, const wchar_t* valueName, void* buffer, DWORD bufferBytes);

// "EAX_EBX_ECX_EDX" of processor identification function 1 into the
// buffer; false, buffer untouched, when all four registers are zero.
bool GetCpuSignature(wchar_t* buffer, std::size_t capacity);

// The 256 identify words of physical drive 0; false without raw drive access.
bool GetDiskIdentifyData(AtaIdentifyWords& words);

}  // namespace ravelin
