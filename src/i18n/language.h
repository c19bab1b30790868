// The build's UI language, the table of the program's own texts, and the
// per-language endpoints. One object per process (see language_win.h).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace ravelin {

// Values are stored and compared as numbers; anything outside 1..4 reads as Chinese.
enum UiLanguage : std::int32_t {
  kLangChinese = 0,
  kLangTurkish = 1,
  kLangPortuguese = 2,
  kLangSpanish = 3,
  kLangPolish = 4,
};

// The language named by string-table entry 1: only its first character
// counts. An empty or missing entry gives Chinese.
UiLanguage LanguageFromBuildEntry(std::wstring_view entry);

class CLanguage {
 public:
  // Chooses nothing itself: the caller reads the build's entry. Fills keys
  // 1 to 25.
  explicit CLanguage(UiLanguage language);
  virtual ~CLanguage() = default;

  // Stores (or overwrites) the five texts of a key, in the order Chinese,
  // Turkish, Portuguese, Spanish, Polish.
  void AddText(std::int32_t key, std::wstring_view chinese, std::wstring_view turkish, std::wstring_view portuguese,
               std::wstring_view spanish, std::wstring_view polish);
  // The key's text in the build's language; empty for an unknown key.
  std::wstring GetText(std::int32_t key) const;

  UiLanguage Language() const { return m_language; }

  // Endpoints of the build's language (language 0 and unknown values take
  // the Chinese row). The game URL template holds two "%s": the host
  // identifier, then the promotion source.
  std::wstring GetGameUrlTemplate() const;
  std::wstring GetUpdateManifestUrl() const;
  // Three "address+host" entries joined by a carriage return.
  void GetServerList(std::wstring& list) const;

 private:
  struct TextEntry {
    std::int32_t key = 0;
    std::array<std::wstring, 5> texts;  // Chinese, Turkish, Portuguese, Spanish, Polish
  };

  UiLanguage m_language;
  std::map<std::int32_t, TextEntry> m_texts;
};

// The start address: the template with "%s" replaced by the host identifier
// and then the promotion source, unescaped and however long they are.
std::wstring ComposeGameUrl(std::wstring_view urlTemplate, std::wstring_view hostUid,
                            std::wstring_view promotionSource);

}  // namespace ravelin
