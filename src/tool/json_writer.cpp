#include "tool/json_writer.h"

#include <cstdio>

#include "common/utf8.h"

namespace ravelin::tool {
namespace {

// Line ends and other controls as escapes, in JSON's form or in C's.
std::string Escape(const std::wstring& text, bool json) {
  std::string out;
  for (const char c : ToUtf8(text)) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\\' || (json && c == '"')) {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || (!json && byte == 0x7F)) {
      char hex[8];
      std::snprintf(hex, sizeof(hex), json ? "\\u%04X" : "\\x%02X", byte);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string Json(const std::wstring& text) { return "\"" + Escape(text, true) + "\""; }
std::string Escaped(const std::wstring& text) { return Escape(text, false); }

}  // namespace ravelin::tool
