#include "app/crash_dump_files.h"

#include <algorithm>

namespace ravelin {
namespace {

constexpr std::wstring_view kPrefix = L"ravelin-";
constexpr std::wstring_view kExtension = L".dmp";
constexpr std::size_t kMaxIdDigits = 10;

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

bool AllDigits(std::wstring_view text) { return std::all_of(text.begin(), text.end(), IsDigit); }

// `value` in exactly `width` digits: a field out of its range still gives a
// name of the one shape.
wchar_t* PutDigits(wchar_t* at, int value, int width) {
  unsigned rest = value < 0 ? 0u : static_cast<unsigned>(value);
  for (int i = width - 1; i >= 0; --i) {
    at[i] = static_cast<wchar_t>(L'0' + rest % 10);
    rest /= 10;
  }
  return at + width;
}

wchar_t* PutText(wchar_t* at, std::wstring_view text) { return std::copy(text.begin(), text.end(), at); }

}  // namespace

DumpFileName::DumpFileName(int year, int month, int day, int hour, int minute, int second, std::uint32_t processId) {
  wchar_t* at = PutText(m_text.data(), kPrefix);
  at = PutDigits(at, year, 4);
  at = PutDigits(at, month, 2);
  at = PutDigits(at, day, 2);
  *at++ = L'-';
  at = PutDigits(at, hour, 2);
  at = PutDigits(at, minute, 2);
  at = PutDigits(at, second, 2);
  *at++ = L'-';
  wchar_t id[kMaxIdDigits];
  std::size_t idLength = 0;
  do {
    id[idLength++] = static_cast<wchar_t>(L'0' + processId % 10);
    processId /= 10;
  } while (processId != 0);
  at = std::reverse_copy(id, id + idLength, at);
  at = PutText(at, kExtension);
  m_length = static_cast<std::size_t>(at - m_text.data());
}

void DumpFileName::Assign(std::wstring_view name) {
  m_length = std::min(name.size(), kMaxLength);
  std::copy_n(name.begin(), m_length, m_text.begin());
}

bool IsDumpFileName(std::wstring_view name) {
  // Prefix, 8 digits, '-', 6 digits, '-', the process id, extension.
  constexpr std::size_t kFixed = 8 + 1 + 6 + 1;
  if (!name.starts_with(kPrefix) || !name.ends_with(kExtension)) return false;
  name.remove_prefix(kPrefix.size());
  name.remove_suffix(kExtension.size());
  if (name.size() <= kFixed || name.size() > kFixed + kMaxIdDigits) return false;
  return AllDigits(name.substr(0, 8)) && name[8] == L'-' && AllDigits(name.substr(9, 6)) && name[15] == L'-' &&
         AllDigits(name.substr(kFixed));
}

DumpRetention::DumpRetention(std::wstring_view justWritten) { m_justWritten.Assign(justWritten); }

void DumpRetention::Consider(std::wstring_view name) {
  if (!IsDumpFileName(name) || name == m_justWritten.View()) return;
  const auto end = m_newest.begin() + static_cast<std::ptrdiff_t>(m_count);
  const auto at = std::find_if(m_newest.begin(), end, [&](const DumpFileName& kept) { return kept.View() <= name; });
  if (at != end && at->View() == name) return;
  if (at == m_newest.end()) return;  // older than every kept one, and no room
  // Shift the older ones down, dropping the oldest when full.
  if (m_count < m_newest.size()) ++m_count;
  std::move_backward(at, m_newest.begin() + static_cast<std::ptrdiff_t>(m_count) - 1,
                     m_newest.begin() + static_cast<std::ptrdiff_t>(m_count));
  at->Assign(name);
}

bool DumpRetention::ShouldDelete(std::wstring_view name) const {
  if (!IsDumpFileName(name) || name == m_justWritten.View()) return false;
  return m_count == m_newest.size() && name < m_newest[m_count - 1].View();
}

}  // namespace ravelin
