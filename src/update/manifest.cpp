#include "update/manifest.h"

#include <array>
#include <cwchar>

namespace ravelin {
namespace {

constexpr wchar_t kCr = L'\r';
constexpr std::wstring_view kLineBreak = L"\r\n";

// The part after the first "=", or the whole line without one.
std::wstring_view LineValue(std::wstring_view line) {
  const std::size_t equals = line.find(L'=');
  return equals == std::wstring_view::npos ? line : line.substr(equals + 1);
}

}  // namespace

bool IsManifestSpace(wchar_t c) {
  const auto u = static_cast<std::uint32_t>(c);
  if ((u >= 0x09 && u <= 0x0D) || u == 0x20) return true;
  if (u < 0x85) return false;
  return u == 0x85 || u == 0xA0 || u == 0x1680 || (u >= 0x2000 && u <= 0x200A) || u == 0x2028 || u == 0x2029 ||
         u == 0x202F || u == 0x205F || u == 0x3000;
}

UpdateManifest ParseUpdateManifest(std::wstring_view text) {
  UpdateManifest m;
  struct Key {
    std::wstring_view name;
    std::wstring UpdateManifest::*field;
  };
  const std::array<Key, 5> keys{{
      {L"version", &UpdateManifest::version},
      {L"autoupdate", &UpdateManifest::autoupdate},
      {L"silentupdate", &UpdateManifest::silentupdate},
      {L"http", &UpdateManifest::http},
      {L"info", &UpdateManifest::notes},  // only while the notes are still empty
  }};

  // Notes usually take most of the text; growing them step by step would
  // copy a long changelog over and over.
  m.notes.reserve(text.size());
  std::wstring_view rest = text;
  while (!rest.empty()) {
    const std::size_t cr = rest.find(kCr);
    // Without a carriage return the line is empty: the rest is notes as it stands.
    const std::wstring_view line = rest.substr(0, cr == std::wstring_view::npos ? 0 : cr);
    rest.remove_prefix(line.size());
    std::size_t skip = 0;
    while (skip < rest.size() && IsManifestSpace(rest[skip])) ++skip;
    rest.remove_prefix(skip);

    if (line.empty()) {
      m.notes.append(kLineBreak);
      m.notes.append(rest);
      break;
    }

    bool taken = false;
    for (const Key& key : keys) {
      std::wstring& field = m.*key.field;
      if (line.starts_with(key.name) && field.empty()) {
        field.assign(LineValue(line));
        taken = true;
        break;
      }
    }
    if (taken || line == kManifestSection) continue;
    m.notes.append(kLineBreak);
    m.notes.append(LineValue(line));
  }
  return m;
}

bool IsUsableManifest(std::wstring_view text) { return text.find(kManifestSection) != std::wstring_view::npos; }

bool IsDifferentVersion(std::wstring_view local, std::wstring_view offered) {
  return !offered.empty() && offered != local;
}

std::wstring FormatFileVersion(std::uint32_t versionMS, std::uint32_t versionLS) {
  std::array<wchar_t, 32> buffer{};
  std::swprintf(buffer.data(), buffer.size(), L"%d.%d.%d.%d", static_cast<int>(versionMS >> 16),
                static_cast<int>(versionMS & 0xFFFF), static_cast<int>(versionLS >> 16),
                static_cast<int>(versionLS & 0xFFFF));
  return buffer.data();
}

}  // namespace ravelin
