#include "console/console_standin_win.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/standin_files_win.h"
#include "common/unique_handle_win.h"

namespace ravelin::standin {
namespace {

constexpr char kDefaultAddress[] = "192.0.2.1";

// The command line after the program name, with the program name quoted or
// not, as CreateProcess passes it.
std::wstring ArgumentsOf(const std::wstring& line) {
  std::size_t i = 0;
  if (!line.empty() && line[0] == L'"') {
    i = line.find(L'"', 1);
    i = i == std::wstring::npos ? line.size() : i + 1;
  } else {
    while (i < line.size() && line[i] != L' ' && line[i] != L'\t') ++i;
  }
  while (i < line.size() && (line[i] == L' ' || line[i] == L'\t')) ++i;
  std::wstring rest = line.substr(i);
  while (!rest.empty() && (rest.back() == L' ' || rest.back() == L'\t')) rest.pop_back();
  return rest;
}

std::wstring LastWord(const std::wstring& text) {
  const std::size_t blank = text.find_last_of(L" \t");
  return blank == std::wstring::npos ? text : text.substr(blank + 1);
}

bool IsDottedAddress(const std::string& text) {
  int parts = 0;
  std::size_t i = 0;
  while (i <= text.size()) {
    std::size_t digits = 0;
    int value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
      value = value * 10 + (text[i] - '0');
      ++i;
      ++digits;
    }
    if (digits == 0 || digits > 3 || value > 255) return false;
    ++parts;
    if (i == text.size()) break;
    if (text[i] != '.') return false;
    ++i;
  }
  return parts == 4;
}

void WriteOut(const std::string& bytes) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    if (!WriteFile(out, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr) ||
        written == 0) {
      return;
    }
    done += written;
  }
}

std::string Ansi(const std::wstring& text) {
  if (text.empty()) return {};
  const int n =
      WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::string Format(const char* format, auto... values) {
  char buffer[512];
  const int n = std::snprintf(buffer, sizeof(buffer), format, values...);
  return std::string(buffer, n < 0 ? 0 : static_cast<std::size_t>(n));
}

struct Target {
  std::string shown;    // as given, ANSI
  std::string address;  // dotted
  bool isAddress = false;
};

std::string PingText(const Target& t, bool replies) {
  std::string s = "\r\n";
  if (t.isAddress) {
    s += "Pinging " + t.address + " with 32 bytes of data:\r\n";
  } else {
    s += "Pinging " + t.shown + " [" + t.address + "] with 32 bytes of data:\r\n";
  }
  // Round trips in ms; 0 is shown as "<1ms" as Windows does.
  const int times[4] = {0, 3, 1, 2};
  for (int time : times) {
    if (!replies) {
      s += "Request timed out.\r\n";
    } else if (time == 0) {
      s += "Reply from " + t.address + ": bytes=32 time<1ms TTL=128\r\n";
    } else {
      s += "Reply from " + t.address + Format(": bytes=32 time=%dms TTL=128\r\n", time);
    }
  }
  s += "\r\nPing statistics for " + t.address + ":\r\n";
  if (!replies) {
    s += "    Packets: Sent = 4, Received = 0, Lost = 4 (100% loss),\r\n";
    return s;
  }
  int sum = 0, low = times[0], high = times[0];
  for (int time : times) {
    sum += time;
    low = time < low ? time : low;
    high = time > high ? time : high;
  }
  s += "    Packets: Sent = 4, Received = 4, Lost = 0 (0% loss),\r\n";
  s += "Approximate round trip times in milli-seconds:\r\n";
  s += Format("    Minimum = %dms, Maximum = %dms, Average = %dms\r\n", low, high, sum / 4);
  return s;
}

// One probe column of a hop line: "    <1 ms", "     9 ms" or "     *   ".
std::string ProbeColumn(int time) {
  if (time < 0) return "     *   ";
  if (time == 0) return "    <1 ms";
  return Format("  %4d ms", time);
}

std::string HopLine(int hop, const int (&times)[3], const std::string& where) {
  std::string s = Format("%3d", hop);
  for (int time : times) s += ProbeColumn(time);
  return s + "  " + where + "\r\n";
}

std::string TracertText(const Target& t, bool replies) {
  std::string s = "\r\n";
  if (t.isAddress) {
    s += "Tracing route to " + t.address + " over a maximum of 30 hops\r\n\r\n";
  } else {
    s += "Tracing route to " + t.shown + " [" + t.address + "]\r\nover a maximum of 30 hops:\r\n\r\n";
  }
  if (!replies) {
    for (int hop = 1; hop <= 30; ++hop) s += HopLine(hop, {-1, -1, -1}, "Request timed out.");
  } else {
    s += HopLine(1, {0, 0, 0}, "198.51.100.1");
    s += HopLine(2, {8, 7, 9}, "edge.isp.example [198.51.100.9]");
    s += HopLine(3, {-1, -1, -1}, "Request timed out.");
    s += HopLine(4, {12, 11, 13}, "203.0.113.17");
    s += HopLine(5, {15, -1, 16}, "core.isp.example [203.0.113.33]");
    s += HopLine(6, {18, 17, 19}, t.isAddress ? t.address : t.shown + " [" + t.address + "]");
  }
  s += "\r\nTrace complete.\r\n";
  return s;
}

constexpr wchar_t kHoldPipeArgument[] = L"--hold-pipe";

// Starts a copy of this program that inherits the output pipe and keeps it
// open for ever, as a tool's own child may.
void LeaveAChildHoldingThePipe() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring line = L"\"" + std::wstring(self) + L"\" " + kHoldPipeArgument;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  if (CreateProcessW(self, line.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr, nullptr, &startup,
                     &process)) {
    const unique_handle thread(process.hThread), child(process.hProcess);
  }
}

}  // namespace

int RunConsoleStandin(ConsoleTool tool) {
  const char* toolName = tool == ConsoleTool::kPing ? "ping" : "tracert";
  const std::wstring commandLine = GetCommandLineW();
  const std::wstring arguments = ArgumentsOf(commandLine);
  const std::wstring targetWide = LastWord(arguments);
  if (arguments == kHoldPipeArgument) {
    for (;;) Sleep(INFINITE);
  }

  const Ini ini = Ini::Load(L"console.ini");
  const std::string targetUtf8 = ToUtf8(targetWide);
  std::string behaviour = ini.Get(toolName, targetUtf8).value_or(ini.Get(toolName, "default", "normal"));
  if (targetWide.empty()) behaviour = "usage";

  std::string record =
      std::string(toolName) + " behaviour=" + behaviour + " target=" + targetUtf8 + " cmdline=" + ToUtf8(commandLine);

  if (behaviour == "usage") {
    RecordLine(L"console.log", record);
    WriteOut(Format("\r\nUsage: %s target_name\r\n", toolName));
    return 1;
  }
  if (behaviour == "nothing") {
    RecordLine(L"console.log", record);
    return 0;
  }
  if (behaviour == "hang") {
    RecordLine(L"console.log", record);
    for (;;) Sleep(INFINITE);
  }
  if (behaviour.rfind("file:", 0) == 0) {
    const auto bytes = ReadFileBytes(StandinFile(FromUtf8(behaviour.substr(5))));
    if (!bytes) record += " error=missing";
    RecordLine(L"console.log", record);
    if (!bytes) return 1;
    WriteOut(*bytes);
    return 0;
  }

  // "orphan": the normal output, but a child of the tool keeps the pipe open.
  if (behaviour == "orphan") LeaveAChildHoldingThePipe();
  const bool replies = behaviour != "timeout";
  if (behaviour != "normal" && behaviour != "timeout" && behaviour != "orphan") {
    record += " error=unknown-behaviour-used-normal";
  }
  RecordLine(L"console.log", record);

  Target target;
  target.shown = Ansi(targetWide);
  target.isAddress = IsDottedAddress(targetUtf8);
  target.address = target.isAddress ? targetUtf8 : ini.Get("addresses", targetUtf8, kDefaultAddress);
  if (tool == ConsoleTool::kPing) {
    WriteOut(PingText(target, replies));
    return replies ? 0 : 1;
  }
  WriteOut(TracertText(target, replies));
  return 0;
}

}  // namespace ravelin::standin
