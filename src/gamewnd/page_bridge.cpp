#include "gamewnd/page_bridge.h"

namespace ravelin {

bool IsLoadGameAddress(std::wstring_view url) { return url.find(kLoadGameMarker) != std::wstring_view::npos; }

std::wstring MovieAddressOf(std::wstring_view url) {
  const std::size_t http = url.find(L"http");
  return http == std::wstring_view::npos ? std::wstring() : std::wstring(url.substr(http));
}

std::wstring ExtractBridgeAnswer(std::wstring_view answer) {
  const std::size_t gt = answer.find(L'>');
  const std::size_t lt = answer.rfind(L'<');
  const long long a = gt == std::wstring_view::npos ? -1 : static_cast<long long>(gt);
  const long long b = lt == std::wstring_view::npos ? -1 : static_cast<long long>(lt);
  long long start = a + 1;
  long long count = b - a - 1;
  if (start < 0) start = 0;
  if (count < 0) count = 0;
  std::wstring text;
  if (static_cast<std::size_t>(start) < answer.size()) {
    text = std::wstring(answer.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(count)));
  }
  static constexpr std::wstring_view kEscapedBreak = L"\\n\\n";
  for (std::size_t pos = 0; (pos = text.find(kEscapedBreak, pos)) != std::wstring::npos; pos += 2) {
    text.replace(pos, kEscapedBreak.size(), L"\n\n");
  }
  return text;
}

bool AdvanceLoadingBar(int& progress, int& progressMax) {
  progress += progressMax * 50 / 3000;
  if (progress < progressMax) return false;
  progress = -1;
  progressMax = 100;
  return true;
}

}  // namespace ravelin
