#include "i18n/language.h"

#include "i18n/endpoints.h"

namespace ravelin {
namespace {

// Index of the build's language in an entry; Chinese for anything unknown.
std::size_t TextIndex(UiLanguage language) {
  switch (language) {
    case kLangTurkish:
    case kLangPortuguese:
    case kLangSpanish:
    case kLangPolish:
      return static_cast<std::size_t>(language);
    default:
      return 0;
  }
}

// The program's own texts. Trailing white space is part of a text.
// Each text with its five languages, one to a line.
// clang-format off
void AddProgramTexts(CLanguage& language) {
  language.AddText(1, L"确定",
                   L"Onayla",
                   L"Confirmar",
                   L"Aceptar",
                   L"Potwierdź");
  language.AddText(2, L"取消",
                   L"İptal Et",
                   L"Cancelar",
                   L"Cancelar",
                   L"Anuluj");
  language.AddText(3, L"升级程序",
                   L"Yükseltme İşlemi",
                   L"Processo de atualização",
                   L"Proceso de actualización",
                   L"Aktualizacja Rejestratora");
  language.AddText(4, L"升级程序即将关闭程序，是否继续升级？",
                   L"Yükseltme işlemi sırasında mevcut program kapatılacaktır, devam etmek istiyor musunuz?",
                   L"O processo de atualização irá fechar o presente programa, deseja ",
                   L"El proceso de actualización está a punto de cerrar el programa, ¿Desea continuar con la actualización?",
                   L"Aktualizacja zakończy bieżący proces, czy kontynuować?");
  language.AddText(5, L"拷贝文件失败!",
                   L"Dosya kopyalama başarısız\t",
                   L"Falha na cópia de arquivos",
                   L"¡Error al copiar archivos!",
                   L"Kopiowanie plików nie powiodło się");
  language.AddText(6, L"升级失败",
                   L"Yükseltme başarısız",
                   L"Falha na Atualização",
                   L"La actualización ha fallado",
                   L"Aktualizacja nie powiodła się");
  language.AddText(7, L"正在检测新版本",
                   L"Yeni sürüm denetleniyor",
                   L"A nova versão está sendo detetada",
                   L"Se ha detectado nueva actualización",
                   L"Testuje Najnowszą Wersję");
  language.AddText(8, L"正在下载最新版本",
                   L"Son sürüm yükleniyor",
                   L"Baixando a versão mais nova",
                   L"Se esta descargando la última actualización",
                   L"Ściąga Najnowszą Wersję");
  language.AddText(9, L"下载文件失败",
                   L"Dosya yükleme başarısız",
                   L"Falha ao baixar o arquivo",
                   L"¡La descarga de archivos ha fallado!",
                   L"Ściąganie pliku nie powiodło się");
  language.AddText(10, L"已经是最新的版本!",
                   L"Son sürüm mevcut!",
                   L"Versão mais nova",
                   L"¡Ya tiene la versión más actualizada!",
                   L"Zaktualizowano!");
  language.AddText(11, L"下载升级信息失败!",
                   L"Yükseltme bilgileri yüklenemedi!",
                   L"Falha na Atualização",
                   L"¡La descarga de actualización ha fallado!",
                   L"Pobieranie plików aktualizacji nie powiodło się!");
  language.AddText(12, L"游戏登陆器",
                   L"Oyun Girişi",
                   L"Login do Jogo",
                   L"Minilogin del juego",
                   L"Rejestrator Gry");
  language.AddText(13, L"确认退出游戏吗？",
                   L"Oyundan çıkış yapmak istediğinize emin misiniz?",
                   L"Deseja sair do jogo?",
                   L"¿Está seguro que desea salir del juego?",
                   L"Czy na pewno wyjść z gry?");
  language.AddText(14, L"有新版本可以升级!",
                   L"Yeni sürüme yükseltilebilir!",
                   L"Tem uma nova versão para atualizar!",
                   L"Hay una actualización disponible",
                   L"Najnowsza wersja gry, aktualizuj!");
  language.AddText(15, L"网络链接不上!",
                   L"Ağ bağlantısı yok!",
                   L"Sem conecção de Internet!",
                   L"Sin conexión de red",
                   L"Wystąpiły problemy z połączeniem!");
  language.AddText(16, L"关闭窗口",
                   L"Pencereyi Kapat",
                   L"Fechar Página",
                   L"Cerrar",
                   L"Zamknij Okno");
  language.AddText(17, L"还原窗口",
                   L"Pencereyi Yenile",
                   L"Restaurar Página",
                   L"Restaurar",
                   L"Przywróć Okno");
  language.AddText(18, L"最小化",
                   L"Küçült",
                   L"Minimizar",
                   L"Minimizar",
                   L"Minimalizuj");
  language.AddText(19, L"最大化",
                   L"Büyüt",
                   L"Maximizar",
                   L"Maximizar",
                   L"Maksymalizuj");
  language.AddText(20, L"工具",
                   L"Araçlar",
                   L"Ferramentas",
                   L"Herramientas",
                   L"Narzędzia");
  language.AddText(21, L"关闭声音",
                   L"Sesi Kapat",
                   L"Desligar o Som",
                   L"Desactivar sonido",
                   L"Wyłącz Dźwięk");
  language.AddText(22, L"打开声音",
                   L"Sesi Aç",
                   L"Ligar o Som",
                   L"Activar sonido",
                   L"Włącz Dźwięk");
  language.AddText(23, L"清除缓存",
                   L"Önbelleği Temizle",
                   L"Limpar Cache",
                   L"Borrar caché",
                   L"Wyczyść Cache");
  language.AddText(24, L"确认要清除Flash缓存吗？",
                   L"Flash önbelleğini temizlemek istediğinize emin misiniz?",
                   L"Deseja limpar o Cache do Flash?",
                   L"¿Está seguro que desea borrar la caché de Flash?",
                   L"Czy na pewno wyczyścić cache Flash?");
  language.AddText(25, L"Vorlan登陆器",
                   L"Dusk Vale",
                   L"Dusk Vale",
                   L"Dusk Vale",
                   L"Dusk Vale");
}
// clang-format on

}  // namespace

UiLanguage LanguageFromBuildEntry(std::wstring_view entry) {
  if (entry.empty()) return kLangChinese;
  switch (entry.front()) {
    case L'1':
      return kLangTurkish;
    case L'2':
      return kLangPortuguese;
    case L'3':
      return kLangSpanish;
    case L'4':
      return kLangPolish;
    default:
      return kLangChinese;
  }
}

CLanguage::CLanguage(UiLanguage language) : m_language(language) { AddProgramTexts(*this); }

void CLanguage::AddText(std::int32_t key, std::wstring_view chinese, std::wstring_view turkish,
                        std::wstring_view portuguese, std::wstring_view spanish, std::wstring_view polish) {
  TextEntry& entry = m_texts[key];
  entry.key = key;
  entry.texts = {std::wstring(chinese), std::wstring(turkish), std::wstring(portuguese), std::wstring(spanish),
                 std::wstring(polish)};
}

std::wstring CLanguage::GetText(std::int32_t key) const {
  const auto it = m_texts.find(key);
  if (it == m_texts.end()) return {};
  return it->second.texts[TextIndex(m_language)];
}

std::wstring CLanguage::GetGameUrlTemplate() const { return std::wstring(GameUrlTemplate(m_language)); }

std::wstring CLanguage::GetUpdateManifestUrl() const { return std::wstring(UpdateManifestUrl(m_language)); }

void CLanguage::GetServerList(std::wstring& list) const { list = ServerList(m_language); }

std::wstring ComposeGameUrl(std::wstring_view urlTemplate, std::wstring_view hostUid,
                            std::wstring_view promotionSource) {
  std::wstring url;
  url.reserve(urlTemplate.size() + hostUid.size() + promotionSource.size());
  int argument = 0;
  for (std::size_t i = 0; i < urlTemplate.size(); ++i) {
    const wchar_t c = urlTemplate[i];
    if (c == L'%' && i + 1 < urlTemplate.size()) {
      const wchar_t next = urlTemplate[i + 1];
      if (next == L's' && argument < 2) {
        url.append(argument++ == 0 ? hostUid : promotionSource);
        ++i;
        continue;
      }
      if (next == L'%') {
        url.push_back(L'%');
        ++i;
        continue;
      }
    }
    url.push_back(c);
  }
  return url;
}

}  // namespace ravelin
