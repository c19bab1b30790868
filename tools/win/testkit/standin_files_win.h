// Access to the stand-ins from test programs: registration in the running
// prefix and their settings and recording files (tools/standins/README.md).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ravelin::testkit {

// Loads <exe dir>\<dll> and calls its DllRegisterServer; true on success.
bool RegisterStandin(const std::wstring& dll);

// %RAVELIN_STANDIN_DIR%\<name>; empty when the variable is not set.
std::wstring StandinFile(const std::wstring& name);

// The lines of a recording (UTF-8 file), without line ends.
std::vector<std::string> ReadStandinLines(const std::wstring& name);

// The runs of the stand-in ping and tracert so far, oldest first, as
// "TOOL TARGET" (from console.log).
std::vector<std::string> ConsoleToolRuns();

// Writes a settings file (UTF-16 with BOM, as the profile API reads it).
bool WriteStandinSettings(const std::wstring& name, const std::wstring& text);

// Deletes a recording so a test starts from nothing.
void ClearStandinFile(const std::wstring& name);

// A request to the local game service's control interface (127.0.0.1:80,
// paths under /_standin/). The answer's body, or nullopt when the service
// did not answer with 200.
std::optional<std::string> ServiceRequest(const std::wstring& method, const std::wstring& path,
                                          const std::string& body = {});

}  // namespace ravelin::testkit
