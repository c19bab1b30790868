#include "i18n/endpoints.h"

#include "ravelin_build_config.h"

namespace ravelin {
namespace {

#define RAVELIN_GAME_PATH(lang, region) \
  L"/dusk_vale/client/"                 \
  L"index.php?source=client_41kk3l&host_uid=%s&sp_promote=" lang L";vorlan_" lang L";" region L";client;%s"

constexpr std::wstring_view kGameUrlTurkish = L"http://" RAVELIN_CFG_GAME_HOST_TR RAVELIN_GAME_PATH(L"tr", L"tr");
constexpr std::wstring_view kGameUrlPortuguese = L"http://" RAVELIN_CFG_GAME_HOST_BR RAVELIN_GAME_PATH(L"pt", L"br");
constexpr std::wstring_view kGameUrlSpanish = L"http://" RAVELIN_CFG_GAME_HOST_AR RAVELIN_GAME_PATH(L"es", L"ar");
constexpr std::wstring_view kGameUrlPolish = L"http://" RAVELIN_CFG_GAME_HOST_PL RAVELIN_GAME_PATH(L"pl", L"pl");
// Chinese keeps the Turkish host and first two fields, with its own region.
constexpr std::wstring_view kGameUrlChinese = L"http://" RAVELIN_CFG_GAME_HOST_TR RAVELIN_GAME_PATH(L"tr", L"ch");

#undef RAVELIN_GAME_PATH

constexpr std::wstring_view kManifestTurkish = L"http://" RAVELIN_CFG_DOWNLOAD_HOST L"/loginer/tr/login_mini_tr_vx.ini";
constexpr std::wstring_view kManifestPortuguese =
    L"http://" RAVELIN_CFG_DOWNLOAD_HOST L"/loginer/pt/login_mini_br_vx.ini";
constexpr std::wstring_view kManifestSpanish = L"http://" RAVELIN_CFG_DOWNLOAD_HOST L"/loginer/es/login_mini_ar_vx.ini";
constexpr std::wstring_view kManifestPolish = L"http://" RAVELIN_CFG_DOWNLOAD_HOST L"/loginer/pl/login_mini_pl_vx.ini";
constexpr std::wstring_view kManifestChinese = L"http://" RAVELIN_CFG_DOWNLOAD_HOST L"/loginer/ch/login_mini_ch_vx.ini";

constexpr std::wstring_view kServerList1 = RAVELIN_CFG_SERVER_LIST_1;
constexpr std::wstring_view kServerList2 = RAVELIN_CFG_SERVER_LIST_2;

}  // namespace

std::wstring_view GameUrlTemplate(UiLanguage language) {
  switch (language) {
    case kLangTurkish:
      return kGameUrlTurkish;
    case kLangPortuguese:
      return kGameUrlPortuguese;
    case kLangSpanish:
      return kGameUrlSpanish;
    case kLangPolish:
      return kGameUrlPolish;
    default:
      return kGameUrlChinese;
  }
}

std::wstring_view UpdateManifestUrl(UiLanguage language) {
  switch (language) {
    case kLangTurkish:
      return kManifestTurkish;
    case kLangPortuguese:
      return kManifestPortuguese;
    case kLangSpanish:
      return kManifestSpanish;
    case kLangPolish:
      return kManifestPolish;
    default:
      return kManifestChinese;
  }
}

std::wstring_view ServerList(UiLanguage language) {
  switch (language) {
    case kLangPortuguese:
    case kLangSpanish:
    case kLangPolish:
      return kServerList2;
    default:
      return kServerList1;
  }
}

std::wstring_view DownloadHost() { return RAVELIN_CFG_DOWNLOAD_HOST; }

std::wstring_view UdpEchoAddress() { return RAVELIN_CFG_UDP_ECHO_ADDRESS; }

const std::array<std::wstring_view, 4>& PublicSites() {
  static constexpr std::array<std::wstring_view, 4> kSites = {RAVELIN_CFG_PUBLIC_SITE_1, RAVELIN_CFG_PUBLIC_SITE_2,
                                                              RAVELIN_CFG_PUBLIC_SITE_3, RAVELIN_CFG_PUBLIC_SITE_4};
  return kSites;
}

}  // namespace ravelin
