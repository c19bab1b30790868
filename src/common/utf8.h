// UTF-8 <-> wide text. Wide text is UTF-16 on Windows and UTF-32 on the
// host build; both directions handle either, and malformed input becomes
// U+FFFD instead of failing.
#pragma once

#include <string>
#include <string_view>

namespace ravelin {

std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);

}  // namespace ravelin
