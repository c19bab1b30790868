// Answers to CallFunction, chosen by the test per function name.
//
// %RAVELIN_STANDIN_DIR%\player.ini, read at every call (UTF-8, or UTF-16LE with a BOM):
//   [answers]
//   SetIsDesktop=string:ok      returns <string>ok</string> (text XML-escaped)
//   getUnfinishedInfo=null      returns <null/>
//   Other=error                 the call fails (DISP_E_EXCEPTION with EXCEPINFO)
//   Other=true | false          returns <true/> | <false/>
//   Other=undefined             returns <undefined/>
//   Other=number:42             returns <number>42</number>
//   Other=xml:<object/>         returns the text after "xml:" verbatim
//   default=null                answer for names without an entry (default null)
// Keys are function names, compared exactly; values are trimmed. A value of
// another form is answered with <null/> and recorded as kind "invalid".
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/standin_files_win.h"

namespace ravelin::standin {

// The name attribute of the <invoke> element, or empty.
std::wstring InvokeName(std::wstring_view request);

std::wstring XmlEscape(std::wstring_view text);

struct Answer {
  std::string kind;                 // string, null, true, ..., error, invalid
  std::optional<std::wstring> xml;  // nothing when the call fails
};

Answer ChooseAnswer(const Ini& settings, const std::string& functionName);

}  // namespace ravelin::standin
