; What the installer says in the build's UI language: the launcher's digit
; (1 Turkish, 2 Portuguese, 3 Spanish, 4 Polish, anything else Chinese), as
; the launcher itself reads it.
;
; DISPLAY_NAME is the launcher's own display name in that language: the name
; of its shortcuts, so both sides must spell it alike (the install test sees a
; second desktop shortcut when they do not).
; OTHER_DISPLAY_NAME is the name the other languages give the shortcuts: a
; launcher whose language changed leaves its old shortcuts behind.

!if "${LANGUAGE}" == "1"
  !define NSIS_LANGUAGE "Turkish"
  !define DISPLAY_NAME "Dusk Vale"
  !define OTHER_DISPLAY_NAME "Vorlan登陆器"
  !define TEXT_CLOSE_FIRST "${DISPLAY_NAME} çalışıyor. Kapatıp Yeniden Dene'ye basın ya da durdurmak için İptal'e basın."
!else if "${LANGUAGE}" == "2"
  !define NSIS_LANGUAGE "PortugueseBR"
  !define DISPLAY_NAME "Dusk Vale"
  !define OTHER_DISPLAY_NAME "Vorlan登陆器"
  !define TEXT_CLOSE_FIRST "${DISPLAY_NAME} está aberto. Feche-o e clique em Repetir, ou em Cancelar para interromper."
!else if "${LANGUAGE}" == "3"
  ; NSIS has no Argentine Spanish; this is its neutral one.
  !define NSIS_LANGUAGE "SpanishInternational"
  !define DISPLAY_NAME "Dusk Vale"
  !define OTHER_DISPLAY_NAME "Vorlan登陆器"
  !define TEXT_CLOSE_FIRST "${DISPLAY_NAME} está abierto. Ciérrelo y pulse Reintentar, o Cancelar para detenerse."
!else if "${LANGUAGE}" == "4"
  !define NSIS_LANGUAGE "Polish"
  !define DISPLAY_NAME "Dusk Vale"
  !define OTHER_DISPLAY_NAME "Vorlan登陆器"
  !define TEXT_CLOSE_FIRST "${DISPLAY_NAME} jest uruchomiony. Zamknij go i kliknij Ponów próbę albo Anuluj, aby przerwać."
!else
  !define NSIS_LANGUAGE "SimpChinese"
  !define DISPLAY_NAME "Vorlan登陆器"
  !define OTHER_DISPLAY_NAME "Dusk Vale"
  !define TEXT_CLOSE_FIRST "${DISPLAY_NAME} 正在运行。请关闭它后点击“重试”，或点击“取消”停止。"
!endif
