// What the stand-in reads from a page: its refresh instruction, its title and
// its text, and where a relative address leads.
#pragma once

#include <optional>
#include <string>

namespace ravelin::standin {

std::wstring Lower(std::wstring s);

// A page's refresh instruction: <meta http-equiv="refresh" content="N;url=...">.
struct PageRefresh {
  double seconds = 0;
  std::wstring url;
};
std::optional<PageRefresh> FindMetaRefresh(const std::wstring& html);

std::wstring TitleOf(const std::wstring& html);
// The text of a page without its tags, for painting.
std::wstring TextOf(const std::wstring& html);
// Resolves a refresh target against the page address (absolute, rooted or bare).
std::wstring Resolve(const std::wstring& base, const std::wstring& target);

}  // namespace ravelin::standin
