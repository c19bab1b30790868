#include "i18n/language.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "i18n/endpoints.h"
#include "ravelin_build_config.h"

namespace ravelin {
namespace {

struct TableRow {
  int key;
  std::array<const wchar_t*, 5> texts;  // Chinese, Turkish, Portuguese, Spanish, Polish
};

// The texts exactly as the product defines them, white space included.
// clang-format off
const TableRow kExpected[] = {
    {1, {L"确定", L"Onayla", L"Confirmar", L"Aceptar", L"Potwierdź"}},
    {2, {L"取消", L"İptal Et", L"Cancelar", L"Cancelar", L"Anuluj"}},
    {3, {L"升级程序", L"Yükseltme İşlemi", L"Processo de atualização", L"Proceso de actualización", L"Aktualizacja Rejestratora"}},
    {4, {L"升级程序即将关闭程序，是否继续升级？", L"Yükseltme işlemi sırasında mevcut program kapatılacaktır, devam etmek istiyor musunuz?", L"O processo de atualização irá fechar o presente programa, deseja ", L"El proceso de actualización está a punto de cerrar el programa, ¿Desea continuar con la actualización?", L"Aktualizacja zakończy bieżący proces, czy kontynuować?"}},
    {5, {L"拷贝文件失败!", L"Dosya kopyalama başarısız\t", L"Falha na cópia de arquivos", L"¡Error al copiar archivos!", L"Kopiowanie plików nie powiodło się"}},
    {6, {L"升级失败", L"Yükseltme başarısız", L"Falha na Atualização", L"La actualización ha fallado", L"Aktualizacja nie powiodła się"}},
    {7, {L"正在检测新版本", L"Yeni sürüm denetleniyor", L"A nova versão está sendo detetada", L"Se ha detectado nueva actualización", L"Testuje Najnowszą Wersję"}},
    {8, {L"正在下载最新版本", L"Son sürüm yükleniyor", L"Baixando a versão mais nova", L"Se esta descargando la última actualización", L"Ściąga Najnowszą Wersję"}},
    {9, {L"下载文件失败", L"Dosya yükleme başarısız", L"Falha ao baixar o arquivo", L"¡La descarga de archivos ha fallado!", L"Ściąganie pliku nie powiodło się"}},
    {10, {L"已经是最新的版本!", L"Son sürüm mevcut!", L"Versão mais nova", L"¡Ya tiene la versión más actualizada!", L"Zaktualizowano!"}},
    {11, {L"下载升级信息失败!", L"Yükseltme bilgileri yüklenemedi!", L"Falha na Atualização", L"¡La descarga de actualización ha fallado!", L"Pobieranie plików aktualizacji nie powiodło się!"}},
    {12, {L"游戏登陆器", L"Oyun Girişi", L"Login do Jogo", L"Minilogin del juego", L"Rejestrator Gry"}},
    {13, {L"确认退出游戏吗？", L"Oyundan çıkış yapmak istediğinize emin misiniz?", L"Deseja sair do jogo?", L"¿Está seguro que desea salir del juego?", L"Czy na pewno wyjść z gry?"}},
    {14, {L"有新版本可以升级!", L"Yeni sürüme yükseltilebilir!", L"Tem uma nova versão para atualizar!", L"Hay una actualización disponible", L"Najnowsza wersja gry, aktualizuj!"}},
    {15, {L"网络链接不上!", L"Ağ bağlantısı yok!", L"Sem conecção de Internet!", L"Sin conexión de red", L"Wystąpiły problemy z połączeniem!"}},
    {16, {L"关闭窗口", L"Pencereyi Kapat", L"Fechar Página", L"Cerrar", L"Zamknij Okno"}},
    {17, {L"还原窗口", L"Pencereyi Yenile", L"Restaurar Página", L"Restaurar", L"Przywróć Okno"}},
    {18, {L"最小化", L"Küçült", L"Minimizar", L"Minimizar", L"Minimalizuj"}},
    {19, {L"最大化", L"Büyüt", L"Maximizar", L"Maximizar", L"Maksymalizuj"}},
    {20, {L"工具", L"Araçlar", L"Ferramentas", L"Herramientas", L"Narzędzia"}},
    {21, {L"关闭声音", L"Sesi Kapat", L"Desligar o Som", L"Desactivar sonido", L"Wyłącz Dźwięk"}},
    {22, {L"打开声音", L"Sesi Aç", L"Ligar o Som", L"Activar sonido", L"Włącz Dźwięk"}},
    {23, {L"清除缓存", L"Önbelleği Temizle", L"Limpar Cache", L"Borrar caché", L"Wyczyść Cache"}},
    {24, {L"确认要清除Flash缓存吗？", L"Flash önbelleğini temizlemek istediğinize emin misiniz?", L"Deseja limpar o Cache do Flash?", L"¿Está seguro que desea borrar la caché de Flash?", L"Czy na pewno wyczyścić cache Flash?"}},
    {25, {L"Vorlan登陆器", L"Dusk Vale", L"Dusk Vale", L"Dusk Vale", L"Dusk Vale"}},};
// clang-format on

const UiLanguage kAllLanguages[] = {kLangChinese, kLangTurkish, kLangPortuguese, kLangSpanish, kLangPolish};

TEST(TextTable, EveryKeyInEveryLanguage) {
  for (UiLanguage language : kAllLanguages) {
    const CLanguage table(language);
    for (const TableRow& row : kExpected) {
      EXPECT_EQ(table.GetText(row.key), row.texts[static_cast<std::size_t>(language)])
          << "key " << row.key << " language " << language;
    }
  }
}

TEST(TextTable, UnknownKeysAndLanguagesReadAsEmptyAndChinese) {
  const CLanguage turkish(kLangTurkish);
  for (int key : {0, 26, -1, -25, 1000}) EXPECT_EQ(turkish.GetText(key), L"") << key;
  // A value outside 1..4 reads the Chinese column.
  const CLanguage odd(static_cast<UiLanguage>(7));
  EXPECT_EQ(odd.GetText(25), L"Vorlan登陆器");
  const CLanguage negative(static_cast<UiLanguage>(-1));
  EXPECT_EQ(negative.GetText(13), L"确认退出游戏吗？");
}

TEST(TextTable, TrailingWhiteSpaceIsPartOfTheText) {
  const std::wstring turkish5 = CLanguage(kLangTurkish).GetText(5);
  ASSERT_EQ(turkish5.size(), 26u);
  EXPECT_EQ(turkish5.back(), L'\t');
  const std::wstring portuguese4 = CLanguage(kLangPortuguese).GetText(4);
  EXPECT_EQ(portuguese4.back(), L' ');
  EXPECT_EQ(portuguese4.substr(portuguese4.size() - 7), L"deseja ");
  EXPECT_EQ(CLanguage(kLangSpanish).GetText(2), CLanguage(kLangPortuguese).GetText(2));
  EXPECT_EQ(CLanguage(kLangPolish).GetText(25), L"Dusk Vale");
}

TEST(TextTable, AddTextOverwritesAnExistingKey) {
  CLanguage table(kLangPolish);
  table.AddText(13, L"a", L"b", L"c", L"d", L"e");
  table.AddText(99, L"a", L"b", L"c", L"d", L"e");
  EXPECT_EQ(table.GetText(13), L"e");
  EXPECT_EQ(table.GetText(99), L"e");
}

TEST(BuildLanguage, OnlyTheFirstCharacterOfEntryOneCounts) {
  const std::pair<const wchar_t*, UiLanguage> cases[] = {
      {L"1", kLangTurkish},       {L"2", kLangPortuguese},   {L"3", kLangSpanish}, {L"4", kLangPolish},
      {L"2xyz", kLangPortuguese}, {L"0", kLangChinese},      {L"5", kLangChinese}, {L"", kLangChinese},
      {L" 1", kLangChinese},      {L"\x0661", kLangChinese},  // Arabic-Indic one is not the digit
  };
  for (const auto& [entry, language] : cases) EXPECT_EQ(LanguageFromBuildEntry(entry), language);
}

TEST(Endpoints, EachLanguageHasItsTemplateManifestAndServerList) {
  const std::wstring path = L"/dusk_vale/client/index.php?source=client_41kk3l&host_uid=%s&sp_promote=";
  struct Case {
    UiLanguage language;
    std::wstring gameUrl;
    std::wstring manifest;
    std::wstring servers;
  };
  const std::wstring download = std::wstring(L"http://") + RAVELIN_CFG_DOWNLOAD_HOST;
  const Case cases[] = {
      {kLangTurkish, std::wstring(L"http://") + RAVELIN_CFG_GAME_HOST_TR + path + L"tr;vorlan_tr;tr;client;%s",
       download + L"/loginer/tr/login_mini_tr_vx.ini", RAVELIN_CFG_SERVER_LIST_1},
      {kLangPortuguese, std::wstring(L"http://") + RAVELIN_CFG_GAME_HOST_BR + path + L"pt;vorlan_pt;br;client;%s",
       download + L"/loginer/pt/login_mini_br_vx.ini", RAVELIN_CFG_SERVER_LIST_2},
      {kLangSpanish, std::wstring(L"http://") + RAVELIN_CFG_GAME_HOST_AR + path + L"es;vorlan_es;ar;client;%s",
       download + L"/loginer/es/login_mini_ar_vx.ini", RAVELIN_CFG_SERVER_LIST_2},
      {kLangPolish, std::wstring(L"http://") + RAVELIN_CFG_GAME_HOST_PL + path + L"pl;vorlan_pl;pl;client;%s",
       download + L"/loginer/pl/login_mini_pl_vx.ini", RAVELIN_CFG_SERVER_LIST_2},
      {kLangChinese, std::wstring(L"http://") + RAVELIN_CFG_GAME_HOST_TR + path + L"tr;vorlan_tr;ch;client;%s",
       download + L"/loginer/ch/login_mini_ch_vx.ini", RAVELIN_CFG_SERVER_LIST_1},
  };
  for (const Case& c : cases) {
    const CLanguage table(c.language);
    EXPECT_EQ(table.GetGameUrlTemplate(), c.gameUrl) << c.language;
    EXPECT_EQ(table.GetUpdateManifestUrl(), c.manifest) << c.language;
    std::wstring list = L"previous contents";
    table.GetServerList(list);
    EXPECT_EQ(list, c.servers) << c.language;
  }
  // Unknown language values select the Chinese row.
  EXPECT_EQ(CLanguage(static_cast<UiLanguage>(9)).GetUpdateManifestUrl(), cases[4].manifest);
}

TEST(Endpoints, ServerListsAreThreeAddressHostEntriesJoinedByCarriageReturns) {
  for (UiLanguage language : {kLangTurkish, kLangPolish}) {
    const std::wstring list(ServerList(language));
    std::vector<std::wstring> entries;
    std::size_t start = 0;
    for (;;) {
      const std::size_t cr = list.find(L'\r', start);
      entries.push_back(list.substr(start, cr - start));
      if (cr == std::wstring::npos) break;
      start = cr + 1;
    }
    ASSERT_EQ(entries.size(), 3u) << language;
    for (const std::wstring& entry : entries) {
      EXPECT_NE(entry.find(L'+'), std::wstring::npos);
      EXPECT_EQ(entry.find_first_of(L" \n"), std::wstring::npos);
    }
  }
}

TEST(GameUrl, InsertsIdentifierAndSourceUnchangedWithoutALengthLimit) {
  const std::wstring tmpl = CLanguage(kLangChinese).GetGameUrlTemplate();
  const std::wstring url = ComposeGameUrl(tmpl, L"a&b=c_%s_1", L"officialwebsite");
  EXPECT_NE(url.find(L"host_uid=a&b=c_%s_1&sp_promote=tr;vorlan_tr;ch;client;officialwebsite"), std::wstring::npos);
  EXPECT_EQ(url.find(L"%s", url.find(L"sp_promote")), std::wstring::npos);

  const std::wstring longUid(1023, L'9');
  const std::wstring longUrl = ComposeGameUrl(tmpl, longUid, L"partnersite");
  EXPECT_GT(longUrl.size(), 519u);
  EXPECT_EQ(longUrl.size(), tmpl.size() - 4 + longUid.size() + 11);
  EXPECT_TRUE(longUrl.ends_with(L";client;partnersite"));

  // A literal percent in a template stays; a third "%s" has no argument.
  EXPECT_EQ(ComposeGameUrl(L"a%%b%s-%s-%s%", L"X", L"Y"), L"a%bX-Y-%s%");
}

}  // namespace
}  // namespace ravelin
