#include "player/player_answers_win.h"

namespace ravelin::standin {

std::wstring InvokeName(std::wstring_view request) {
  const std::size_t invoke = request.find(L"<invoke");
  if (invoke == std::wstring_view::npos) return {};
  std::size_t pos = request.find(L"name", invoke);
  const std::size_t close = request.find(L'>', invoke);
  if (pos == std::wstring_view::npos || (close != std::wstring_view::npos && pos > close)) return {};
  pos += 4;
  while (pos < request.size() && (request[pos] == L' ' || request[pos] == L'=')) ++pos;
  if (pos >= request.size() || (request[pos] != L'"' && request[pos] != L'\'')) return {};
  const wchar_t quote = request[pos];
  const std::size_t end = request.find(quote, pos + 1);
  if (end == std::wstring_view::npos) return {};
  return std::wstring(request.substr(pos + 1, end - pos - 1));
}

std::wstring XmlEscape(std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (wchar_t c : text) {
    switch (c) {
      case L'&':
        out += L"&amp;";
        break;
      case L'<':
        out += L"&lt;";
        break;
      case L'>':
        out += L"&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

Answer ChooseAnswer(const Ini& settings, const std::string& functionName) {
  const std::string value = settings.Get("answers", functionName).value_or(settings.Get("answers", "default", "null"));
  if (value == "null") return {"null", L"<null/>"};
  if (value == "undefined") return {"undefined", L"<undefined/>"};
  if (value == "true") return {"true", L"<true/>"};
  if (value == "false") return {"false", L"<false/>"};
  if (value == "error") return {"error", std::nullopt};
  if (value.rfind("string:", 0) == 0)
    return {"string", L"<string>" + XmlEscape(FromUtf8(value.substr(7))) + L"</string>"};
  if (value.rfind("number:", 0) == 0) return {"number", L"<number>" + FromUtf8(value.substr(7)) + L"</number>"};
  if (value.rfind("xml:", 0) == 0) return {"xml", FromUtf8(value.substr(4))};
  return {"invalid", L"<null/>"};
}

}  // namespace ravelin::standin
