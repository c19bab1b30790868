// Text fields for the tool's output: one line each, as a JSON string or
// with C's escapes for the plain form.
#pragma once

#include <string>

namespace ravelin::tool {

// A JSON string literal of `text`, quotes included (UTF-8).
std::string Json(const std::wstring& text);
// `text` on one line: line ends, tabs and other controls as C escapes.
std::string Escaped(const std::wstring& text);

}  // namespace ravelin::tool
