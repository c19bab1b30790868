; The launcher's installer and uninstaller, for one UI language. Per user and
; without administrator rights: the launcher runs as invoker and must be able
; to replace its own file when it updates itself.
;
;   makensis -INPUTCHARSET UTF8 -DLANGUAGE=1 -DPROGRAM=/abs/ravelin.exe -DOUTFILE=/abs/Setup.exe installer/setup.nsi
;
; LANGUAGE is the build's language digit, PROGRAM the launcher built with it;
; the version shown in the list of installed programs is PROGRAM's file version.
; /S installs or uninstalls silently. Exit codes: 0 done, 1 cancelled on a
; page, 2 stopped (the player would not close the launcher, or a file could not
; be written), 3 silent mode waited SILENT_WAIT_SECONDS for the launcher to
; close, in vain. An uninstaller started from the program's folder hands over
; to a copy of itself and ends at once, with 0.

Unicode true
Target amd64-unicode
RequestExecutionLevel user
SetCompressor /SOLID lzma

!ifndef LANGUAGE | PROGRAM | OUTFILE
  !error "define LANGUAGE, PROGRAM and OUTFILE (see the head of this file)"
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include "languages.nsh"

!getdllversion "${PROGRAM}" PROGRAM_VERSION_
!define VERSION "${PROGRAM_VERSION_1}.${PROGRAM_VERSION_2}.${PROGRAM_VERSION_3}.${PROGRAM_VERSION_4}"

; The self-update works in the program's folder: it downloads MyClient.exe
; (through MyClient.exe.*.part) and hands over through a copy named after the
; program file with Tmp.exe in place of .exe.
!define PROGRAM_FILE "ravelin.exe"
!define HANDOVER_COPY "ravelinTmp.exe"
!define DOWNLOAD_FILE "MyClient.exe"
!define DIAG_LOG "Corvaneout.txt"
!define UNINSTALLER "uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\DuskVale"
!define PUBLISHER "Ravelin"
!define SILENT_WAIT_SECONDS 30
!define EXIT_LAUNCHER_OPEN 3
!define MOVEFILE_REPLACE_EXISTING 1

Name "${DISPLAY_NAME}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Dusk Vale"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails hide
ShowUninstDetails hide

!define MUI_ICON "../res/ravelin.ico"
!define MUI_UNICON "../res/ravelin.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\${PROGRAM_FILE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "${NSIS_LANGUAGE}"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey "ProductName" "${DISPLAY_NAME}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${DISPLAY_NAME} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

; Returns once nobody runs the program file at $0, or with the error flag set
; when it stays open: the player chose to stop, or silent mode (which cannot
; ask) waited in vain. A running program holds its file against writers, so a
; file that opens for writing is free.
!macro WAIT_FOR_CLOSED_LAUNCHER un
  Function ${un}WaitForClosedLauncher
    Push $1
    Push $2
    StrCpy $2 0
    ${Do}
      ClearErrors
      ${IfNot} ${FileExists} "$0"
        ${Break}
      ${EndIf}
      FileOpen $1 "$0" a
      ${IfNot} ${Errors}
        FileClose $1
        ${Break}
      ${EndIf}
      ${If} ${Silent}
        ${If} $2 >= ${SILENT_WAIT_SECONDS}
          SetErrors
          ${Break}
        ${EndIf}
        Sleep 1000
        IntOp $2 $2 + 1
      ${Else}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${TEXT_CLOSE_FIRST}" IDRETRY retry
        SetErrors
        ${Break}
        retry:
      ${EndIf}
    ${Loop}
    Pop $2
    Pop $1
  FunctionEnd
!macroend
!insertmacro WAIT_FOR_CLOSED_LAUNCHER ""
!insertmacro WAIT_FOR_CLOSED_LAUNCHER "un."

!macro STOP_FOR_OPEN_LAUNCHER
  ${If} ${Silent}
    SetErrorLevel ${EXIT_LAUNCHER_OPEN}
    Quit
  ${EndIf}
  Abort
!macroend

Section
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  StrCpy $0 "$INSTDIR\${PROGRAM_FILE}"
  ; The new build lands under another name and then takes the program's
  ; place in one step: a launcher started meanwhile finds one whole build or
  ; the other, never a half-written file. A launcher started between the
  ; check and the move makes the move fail: check again.
  File "/oname=${PROGRAM_FILE}.new" "${PROGRAM}"
  StrCpy $3 0
  ${Do}
    Call WaitForClosedLauncher
    ${If} ${Errors}
      Delete "$INSTDIR\${PROGRAM_FILE}.new"
      !insertmacro STOP_FOR_OPEN_LAUNCHER
    ${EndIf}
    System::Call 'kernel32::MoveFileExW(w "$INSTDIR\${PROGRAM_FILE}.new", w r0, i ${MOVEFILE_REPLACE_EXISTING}) i .r1'
    ${If} $1 <> 0
      ${Break}
    ${EndIf}
    IntOp $3 $3 + 1
    ${If} $3 >= 3
      Delete "$INSTDIR\${PROGRAM_FILE}.new"
      DetailPrint "$(^ErrorCreating)$0"
      Abort
    ${EndIf}
  ${Loop}

  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  ; Where and under which name the launcher makes its own shortcuts, so it
  ; rewrites these rather than adding others.
  CreateShortcut "$STARTMENU\${DISPLAY_NAME}.lnk" "$INSTDIR\${PROGRAM_FILE}"
  CreateShortcut "$DESKTOP\${DISPLAY_NAME}.lnk" "$INSTDIR\${PROGRAM_FILE}"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${DISPLAY_NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM_FILE},0"
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K /G=0" $1 $2 $3
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $1
SectionEnd

; The records the launcher keeps under HKEY_LOCAL_MACHINE, below one of the
; two key forms it writes. The vendor keys are shared with other programs:
; only our values go, and a key only when nothing is left in it. Without the
; rights to HKEY_LOCAL_MACHINE the deletions fail, silently.
!macro REMOVE_RECORDS software
  DeleteRegValue HKLM "${software}\Corvane" "Tessar_duskvale"
  DeleteRegValue HKLM "${software}\Corvane" "DoRun_duskvale"
  DeleteRegKey /ifnosubkeys /ifnovalues HKLM "${software}\Corvane"
  DeleteRegValue HKLM "${software}\Tessar software\QXM" "Download"
  DeleteRegKey /ifnosubkeys /ifnovalues HKLM "${software}\Tessar software\QXM"
  DeleteRegKey /ifnosubkeys /ifnovalues HKLM "${software}\Tessar software"
!macroend

!macro REMOVE_SHORTCUTS name
  Delete "$DESKTOP\${name}.lnk"
  Delete "$STARTMENU\${name}.lnk"
!macroend

Section "Uninstall"
  SetShellVarContext current
  StrCpy $0 "$INSTDIR\${PROGRAM_FILE}"
  Call un.WaitForClosedLauncher
  ${If} ${Errors}
    !insertmacro STOP_FOR_OPEN_LAUNCHER
  ${EndIf}

  Delete "$INSTDIR\${PROGRAM_FILE}"
  Delete "$INSTDIR\${PROGRAM_FILE}.new"
  Delete "$INSTDIR\${HANDOVER_COPY}"
  Delete "$INSTDIR\${DOWNLOAD_FILE}"
  Delete "$INSTDIR\${DOWNLOAD_FILE}.*.part"
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Without /r: files the player put there stay, and so does the folder.
  RMDir "$INSTDIR"

  ; The launcher names its shortcuts in its language; one whose language
  ; changed left the other name behind.
  !insertmacro REMOVE_SHORTCUTS "${DISPLAY_NAME}"
  !insertmacro REMOVE_SHORTCUTS "${OTHER_DISPLAY_NAME}"
  Delete "$RECENT\${PROGRAM_FILE}.lnk"

  !insertmacro REMOVE_RECORDS "SOFTWARE"
  !insertmacro REMOVE_RECORDS "SOFTWARE\Wow6432Node"
  Delete "$TEMP\${DIAG_LOG}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
