// The texts the game window exchanges with the game page and movie.
#pragma once

#include <string>
#include <string_view>

namespace ravelin {

// A navigation to an address holding this asks for the game to start.
inline constexpr std::wstring_view kLoadGameMarker = L"app://loadgame";

inline constexpr wchar_t kDesktopNoticeRequest[] =
    L"<invoke name=\"SetIsDesktop\" returntype=\"xml\"><arguments></arguments></invoke>";
inline constexpr char kUnfinishedInfoRequest[] =
    "<invoke name=\"getUnfinishedInfo\" returntype=\"xml\"><arguments></arguments></invoke>";

// Notices that returned before the notice disarms itself: 4001 are sent.
inline constexpr int kDesktopNoticeLimit = 4000;

bool IsLoadGameAddress(std::wstring_view url);

// The movie's address: the part from the first "http" on; empty without one.
std::wstring MovieAddressOf(std::wstring_view url);

// The text of the movie's answer: what lies between its first ">" and its
// last "<", with each "\n\n" (backslash, n, backslash, n) made two line feeds.
std::wstring ExtractBridgeAnswer(std::wstring_view answer);

// The play-phase loading bar: one 50 ms tick. Returns true when the bar is
// full, after which progress reads -1 and the range 100.
bool AdvanceLoadingBar(int& progress, int& progressMax);

}  // namespace ravelin
