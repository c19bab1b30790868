// Console tools print whatever their system gives them: any output must be
// read without failing, and what is read must come from the output.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/utf8.h"
#include "diag/diag_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring output = ravelin::FromUtf8(std::string(reinterpret_cast<const char*>(data), size));
  ravelin::DiagRecord ping;
  ping[ravelin::DiagRecord::kUrl] = L"target";
  if (ravelin::ReadPingOutput(output, ping)) {
    const std::wstring& ip = ping[ravelin::DiagRecord::kIp];
    if (ip != L"target" && output.find(ip) == std::wstring::npos) std::abort();
    for (auto f : {ravelin::DiagRecord::kSend, ravelin::DiagRecord::kAve}) {
      const std::wstring& v = ping[f];
      if (v != L"NULL" && !v.empty() && output.find(v) == std::wstring::npos) std::abort();
    }
  } else if (output.size() >= 2) {
    std::abort();
  }
  // Japanese statistics are separated by the ideographic comma: where no other
  // comma competes, it reads exactly as the ASCII comma does.
  if (output.find_first_of(L"\uFF0C\u3001") == std::wstring::npos) {
    std::wstring ideographic = output;
    for (wchar_t& c : ideographic) {
      if (c == L',') c = L'\u3001';
    }
    ravelin::DiagRecord same;
    same[ravelin::DiagRecord::kUrl] = L"target";
    ravelin::ReadPingOutput(ideographic, same);
    for (int f = ravelin::DiagRecord::kSend; f <= ravelin::DiagRecord::kAve; ++f) {
      if (same.fields[f] != ping.fields[f]) std::abort();
    }
  }
  ravelin::DiagRecord trace;
  ravelin::ReadTracertOutput(output, trace);
  const std::wstring& summary = trace[ravelin::DiagRecord::kTracert];
  if (summary != L"NULL" && (summary.empty() || summary.back() != L'>')) std::abort();
  return 0;
}
