// Settings and recordings of a stand-in: files in %RAVELIN_STANDIN_DIR%.
// Without that variable nothing is read or written.
#pragma once

#include <windows.h>

#include <string>

namespace ravelin::standin {

// Appends one UTF-8 line to %RAVELIN_STANDIN_DIR%\<file>, flushed at once.
void AppendLine(const wchar_t* file, const std::wstring& line);

// A value of %RAVELIN_STANDIN_DIR%\<file> (an .ini file), or `fallback`.
std::wstring Setting(const wchar_t* file, const wchar_t* section, const wchar_t* key, const wchar_t* fallback);

std::wstring Hex(unsigned long value);

}  // namespace ravelin::standin
