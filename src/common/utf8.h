// UTF-8 <-> wide text. Wide text is UTF-16 on Windows and UTF-32 on the
// host build; both directions handle either, and malformed input becomes
// U+FFFD instead of failing.
#pragma once

#include <string>
#include <string_view>

namespace ravelin {

std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);

// Bytes read from the network or a file are text up to their first NUL.
std::string_view BodyUpToNul(std::string_view body);

}  // namespace ravelin
