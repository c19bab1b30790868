#include "update/update_files.h"

namespace ravelin {
namespace {

constexpr std::wstring_view kTempSuffix = L"Tmp.exe";
constexpr std::wstring_view kUpdateMarker = L"Update";
constexpr wchar_t kSeparator = L'|';

bool EndsWithExeAnyCase(std::wstring_view name) {
  constexpr std::wstring_view kExe = L".exe";
  if (name.size() < kExe.size()) return false;
  const std::wstring_view tail = name.substr(name.size() - kExe.size());
  for (std::size_t i = 0; i < kExe.size(); ++i) {
    wchar_t c = tail[i];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    if (c != kExe[i]) return false;
  }
  return true;
}

// Little-endian fields of the image headers; callers check the bounds.
std::uint16_t U16(std::span<const std::uint8_t> b, std::uint64_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t U32(std::span<const std::uint8_t> b, std::uint64_t at) {
  return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
         (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

constexpr std::uint64_t kDosHeaderSize = 64;
constexpr std::uint64_t kLfanewOffset = 0x3C;
constexpr std::uint64_t kFileHeaderSize = 20;
constexpr std::uint64_t kSectionHeaderSize = 40;
constexpr std::uint64_t kPe32PlusFixedSize = 112;  // optional header without data directories
constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::uint16_t kExecutableImage = 0x0002;
constexpr std::uint16_t kDll = 0x2000;

}  // namespace

std::wstring UpdateTargetPath(std::wstring_view modulePath) {
  const std::size_t slash = modulePath.rfind(L'\\');
  std::wstring path(slash == std::wstring_view::npos ? std::wstring_view{} : modulePath.substr(0, slash + 1));
  path.append(kDownloadFileName);
  return path;
}

std::wstring TempCopyPath(std::wstring_view modulePath) {
  const std::size_t slash = modulePath.rfind(L'\\');
  const std::size_t nameStart = slash == std::wstring_view::npos ? 0 : slash + 1;
  std::wstring_view keep = modulePath;
  if (EndsWithExeAnyCase(modulePath.substr(nameStart))) keep.remove_suffix(4);
  std::wstring path(keep);
  path.append(kTempSuffix);
  return path;
}

std::wstring PartialDownloadPath(std::wstring_view targetPath, std::uint32_t processId, std::uint32_t opening) {
  std::wstring path(targetPath);
  path += L'.';
  path += std::to_wstring(processId);
  path += L'-';
  path += std::to_wstring(opening);
  path += L".part";
  return path;
}

std::wstring BuildUpdateCommandLine(std::wstring_view installedPath, std::wstring_view downloadedPath) {
  std::wstring line;
  line.reserve(kUpdateMarker.size() + 2 + installedPath.size() + downloadedPath.size());
  line.append(kUpdateMarker);
  line.push_back(kSeparator);
  line.append(installedPath);
  line.push_back(kSeparator);
  line.append(downloadedPath);
  return line;
}

BuildFileCheck CheckBuildFile(std::span<const std::uint8_t> bytes, std::uint64_t fileSize) {
  // Headers are read from `bytes`, the start of the file; a header that lies
  // in the file but past what was read cannot be judged.
  const std::uint64_t head = bytes.size();
  const auto beyond = [&](std::uint64_t end, BuildFileCheck outside) {
    return end > fileSize ? outside : BuildFileCheck::HeadersTooLarge;
  };
  if (fileSize < kDosHeaderSize || head < kDosHeaderSize || bytes[0] != 'M' || bytes[1] != 'Z') {
    return BuildFileCheck::NoDosHeader;
  }

  const std::uint64_t nt = U32(bytes, kLfanewOffset);
  const std::uint64_t fileHeader = nt + 4;
  const std::uint64_t optionalHeader = fileHeader + kFileHeaderSize;
  if (optionalHeader > head) return beyond(optionalHeader, BuildFileCheck::NtHeadersOutsideFile);
  if (bytes[nt] != 'P' || bytes[nt + 1] != 'E' || bytes[nt + 2] != 0 || bytes[nt + 3] != 0) {
    return BuildFileCheck::NoPeSignature;
  }
  if (U16(bytes, fileHeader) != kMachineAmd64) return BuildFileCheck::WrongMachine;
  const std::uint16_t characteristics = U16(bytes, fileHeader + 18);
  if ((characteristics & kExecutableImage) == 0 || (characteristics & kDll) != 0) {
    return BuildFileCheck::NotAnExecutable;
  }

  const std::uint64_t optionalSize = U16(bytes, fileHeader + 16);
  if (optionalSize < kPe32PlusFixedSize) return BuildFileCheck::OptionalHeaderTooSmall;
  const std::uint64_t sectionTable = optionalHeader + optionalSize;
  if (sectionTable > head) return beyond(sectionTable, BuildFileCheck::NtHeadersOutsideFile);
  if (U16(bytes, optionalHeader) != kMagicPe32Plus) return BuildFileCheck::NotPe32Plus;

  const std::uint64_t sections = U16(bytes, fileHeader + 2);
  if (sections == 0) return BuildFileCheck::NoSections;
  const std::uint64_t tableEnd = sectionTable + sections * kSectionHeaderSize;
  if (tableEnd > head) return beyond(tableEnd, BuildFileCheck::SectionsOutsideFile);
  for (std::uint64_t i = 0; i < sections; ++i) {
    const std::uint64_t header = sectionTable + i * kSectionHeaderSize;
    const std::uint64_t rawSize = U32(bytes, header + 16);
    const std::uint64_t rawStart = U32(bytes, header + 20);
    // Uninitialised data has no bytes in the file, wherever it claims to start.
    if (rawSize != 0 && rawStart + rawSize > fileSize) return BuildFileCheck::SectionsOutsideFile;
  }
  return BuildFileCheck::Ok;
}

}  // namespace ravelin
