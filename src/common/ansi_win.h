// Text in the thread's ANSI code page, as console tools, the network and the
// log file carry it, to and from UTF-16. Characters the code page lacks
// become its default character.
#pragma once

#include <string>
#include <string_view>

namespace ravelin {

std::wstring FromThreadAnsi(std::string_view bytes);
std::string ToThreadAnsi(std::wstring_view text);

}  // namespace ravelin
