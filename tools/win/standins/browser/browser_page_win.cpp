#include "browser/browser_page_win.h"

#include <cwchar>
#include <cwctype>

namespace ravelin::standin {

std::wstring Lower(std::wstring s) {
  for (wchar_t& c : s) c = static_cast<wchar_t>(std::towlower(c));
  return s;
}

std::optional<PageRefresh> FindMetaRefresh(const std::wstring& html) {
  const std::wstring lower = Lower(html);
  std::size_t pos = 0;
  while ((pos = lower.find(L"<meta", pos)) != std::wstring::npos) {
    const std::size_t end = lower.find(L'>', pos);
    if (end == std::wstring::npos) break;
    const std::wstring tag = lower.substr(pos, end - pos);
    const std::wstring original = html.substr(pos, end - pos);
    pos = end;
    if (tag.find(L"http-equiv") == std::wstring::npos || tag.find(L"refresh") == std::wstring::npos) continue;
    const std::size_t content = tag.find(L"content=");
    if (content == std::wstring::npos) continue;
    std::size_t start = content + 8;
    const wchar_t quote = tag[start] == L'"' || tag[start] == L'\'' ? tag[start] : 0;
    if (quote != 0) ++start;
    const std::size_t stop = quote != 0 ? tag.find(quote, start) : tag.find_first_of(L" >", start);
    const std::wstring value = original.substr(start, (stop == std::wstring::npos ? tag.size() : stop) - start);
    PageRefresh r;
    r.seconds = _wtof(value.c_str());
    const std::size_t url = Lower(value).find(L"url=");
    if (url == std::wstring::npos) continue;
    r.url = value.substr(url + 4);
    return r;
  }
  return std::nullopt;
}

std::wstring TitleOf(const std::wstring& html) {
  const std::wstring lower = Lower(html);
  const std::size_t start = lower.find(L"<title>");
  const std::size_t end = lower.find(L"</title>");
  if (start == std::wstring::npos || end == std::wstring::npos || end < start) return {};
  return html.substr(start + 7, end - start - 7);
}

std::wstring TextOf(const std::wstring& html) {
  std::wstring text;
  bool inTag = false;
  const std::wstring lower = Lower(html);
  for (std::size_t i = 0; i < html.size(); ++i) {
    if (!inTag && lower.compare(i, 7, L"<title>") == 0) {
      const std::size_t end = lower.find(L"</title>", i);
      if (end != std::wstring::npos) {
        i = end + 7;
        continue;
      }
    }
    const wchar_t c = html[i];
    if (c == L'<') {
      inTag = true;
      if (!text.empty() && text.back() != L'\n') text.push_back(L'\n');
    } else if (c == L'>') {
      inTag = false;
    } else if (!inTag && c != L'\r' && !(c == L'\n' && (text.empty() || text.back() == L'\n'))) {
      text.push_back(c);
    }
  }
  return text;
}

std::wstring Resolve(const std::wstring& base, const std::wstring& target) {
  if (target.find(L"://") != std::wstring::npos || target.rfind(L"about:", 0) == 0) return target;
  const std::size_t scheme = base.find(L"://");
  if (scheme == std::wstring::npos) return target;
  const std::size_t pathStart = base.find(L'/', scheme + 3);
  const std::wstring origin = pathStart == std::wstring::npos ? base : base.substr(0, pathStart);
  if (!target.empty() && target[0] == L'/') return origin + target;
  const std::size_t lastSlash = base.rfind(L'/');
  return (lastSlash != std::wstring::npos && lastSlash > scheme + 2 ? base.substr(0, lastSlash + 1) : origin + L"/") +
         target;
}

}  // namespace ravelin::standin
