// The host tool: files by UTF-8 names, captured text in UTF-8, the signing
// commands with OpenSSL.
#include <cstdio>
#include <ctime>

#include "common/utf8.h"
#include "diag/diag_report.h"
#include "tool/signing_commands.h"
#include "tool/tool.h"

namespace ravelin::tool {
namespace {

const Command kHostCommands[] = {
    {L"keygen", 0, kAnyWords, &Keygen,
     "  keygen [--private FILE] [--public FILE]\n"
     "                 make a P-256 key pair for signing updates (default update-private.pem\n"
     "                 and update-public.pem here); never overwrites a file\n"},
    {L"sign", 0, kAnyWords, &Sign,
     "  sign FILE --key PRIVATE.pem\n"
     "                 write FILE.sig, the base64 ECDSA P-256 / SHA-256 signature of FILE\n"
     "                 that the launcher requires before it installs a downloaded build\n"},
    {L"verify", 0, kAnyWords, &Verify,
     "  verify FILE --key PUBLIC.pem [--sig SIGFILE]\n"
     "                 check FILE against SIGFILE (default FILE.sig): exit 0 good signature,\n"
     "                 1 bad or missing signature, 2 key or file error\n"},
};

}  // namespace

std::span<const Command> PlatformCommands() { return kHostCommands; }

std::FILE* OpenForReading(const std::wstring& path) { return std::fopen(ToUtf8(path).c_str(), "rb"); }

std::wstring FetchedText(const std::string& bytes) { return FromUtf8(BodyUpToNul(bytes)); }

std::wstring ConsoleText(const std::string& bytes) { return FromUtf8(bytes); }

std::wstring LocalDiagTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return FormatDiagTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                        local.tm_sec);
}

}  // namespace ravelin::tool

int main(int argc, char** argv) {
  ravelin::tool::Args args;
  for (int i = 0; i < argc; ++i) args.push_back(ravelin::FromUtf8(argv[i]));
  return ravelin::tool::Run(args);
}
