// The movie's answers are outside text: any answer gives a text no longer
// than the answer itself, without the escaped breaks it replaced.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/utf8.h"
#include "gamewnd/page_bridge.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring answer = ravelin::FromUtf8(std::string(reinterpret_cast<const char*>(data), size));
  const std::wstring text = ravelin::ExtractBridgeAnswer(answer);
  if (text.size() > answer.size()) std::abort();
  if (text.find(L"\\n\\n") != std::wstring::npos) std::abort();
  const std::wstring movie = ravelin::MovieAddressOf(answer);
  if (!movie.empty() && (movie.rfind(L"http", 0) != 0 || answer.find(movie) == std::wstring::npos)) std::abort();
  return 0;
}
