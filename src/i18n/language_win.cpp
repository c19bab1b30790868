#include "i18n/language_win.h"

#include <windows.h>

#include "res/resource.h"

namespace ravelin {

UiLanguage ReadBuildLanguage(void* module) {
  wchar_t entry[9] = {};
  const int length = LoadStringW(static_cast<HMODULE>(module), IDS_LANGUAGE, entry, 9);
  return LanguageFromBuildEntry(std::wstring_view(entry, length > 0 ? static_cast<std::size_t>(length) : 0));
}

const CLanguage g_Language(ReadBuildLanguage(GetModuleHandleW(nullptr)));

}  // namespace ravelin
