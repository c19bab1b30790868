// A manifest is whatever the download host (or anything posing as it)
// answers. Parsing must take any text, and every field must come from the
// text: values never span a line end, and the fields together are never
// longer than the text plus one inserted line break per line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/utf8.h"
#include "update/manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  const std::wstring text = ravelin::FromUtf8(ravelin::BodyUpToNul(body));
  const ravelin::UpdateManifest m = ravelin::ParseUpdateManifest(text);

  for (const std::wstring* field : {&m.version, &m.autoupdate, &m.silentupdate, &m.http}) {
    if (field->find(L'\r') != std::wstring::npos) std::abort();
    if (text.find(*field) == std::wstring::npos) std::abort();
  }
  std::size_t lines = 1;
  for (const wchar_t c : text) lines += c == L'\r';
  const std::size_t total =
      m.version.size() + m.autoupdate.size() + m.silentupdate.size() + m.http.size() + m.notes.size();
  if (total > text.size() + 2 * lines) std::abort();

  if (ravelin::IsDifferentVersion(m.version, m.version)) std::abort();
  if (ravelin::IsDifferentVersion(L"1.0.0.1", m.version) != (!m.version.empty() && m.version != L"1.0.0.1")) {
    std::abort();
  }
  return 0;
}
