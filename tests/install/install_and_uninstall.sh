#!/usr/bin/env bash
# The release's installer and uninstaller, silently, as support runs them:
#   install -> the program, its shortcuts and its entry in the list of
#   installed programs are in place -> the start-menu shortcut starts the
#   launcher, which shows its frame and writes its records -> it ends ->
#   an update's leftovers lie in the folder -> the entry's quiet uninstall
#   removes the program folder, the shortcuts, the recent documents entry,
#   the records under HKEY_LOCAL_MACHINE, the diagnostics log and the entry,
#   and leaves another program's values under the shared keys alone.
#   install_and_uninstall.sh RELEASE_DIR BIN_DIR
set -uo pipefail
release="$1"
bin="$2"
source "$(dirname "${BASH_SOURCE[0]}")/install_lib.sh"

# Another program's values beside the launcher's records; and the records
# in the key form a launcher on a 32-bit system writes, alone in their keys.
import_registry <<'EOF'
[HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\Corvane]
"Tessar_othergame"="stays"

[HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\Tessar software\Other]
"Download"="1"

[HKEY_LOCAL_MACHINE\SOFTWARE\Corvane]
"Tessar_duskvale"="officialwebsite"
"DoRun_duskvale"="1"

[HKEY_LOCAL_MACHINE\SOFTWARE\Tessar software\QXM]
"Download"="1"
EOF

install_silently "$setup"
code=$?
check "the silent install succeeds" '[[ $code -eq 0 ]]'
check "the program is installed in the user's programs folder" 'cmp -s "$program" "$install_dir/ravelin.exe"'
check "the start menu holds the launcher's shortcut" '[[ -f "$start_menu/$name.lnk" ]]'

location="$(reg_value "$uninstall_key" InstallLocation)"
check "the installed programs entry names the folder" \
  '[[ "$location" == "C:\\users\\"*"\\AppData\\Local\\Programs\\Dusk Vale" ]]'
uninstaller="\"$location\\uninstall.exe\""
while IFS='|' read -r value expected; do
  data="$(reg_value "$uninstall_key" "$value")"
  check "the installed programs entry's $value" '[[ "$data" == "$expected" ]]'
done <<EOF
DisplayName|$name
DisplayVersion|$(file_version "$program")
UninstallString|$uninstaller
QuietUninstallString|$uninstaller /S
EOF
estimated="$(reg_value "$uninstall_key" EstimatedSize)"
check "the entry's EstimatedSize (KiB) counts the program" '(( estimated >= $(stat -c %s "$program") / 1024 ))'

start_from_start_menu
frame="$(driver wait --kind main --visible --timeout 30000)"
check "the start-menu shortcut starts the launcher, which shows its frame" '[[ "$frame" == *visible=1* ]]'
diag_log=""
wait_until 30 '[[ -f "$recent/ravelin.exe.lnk" ]] && diag_log="$(find "$home" -name Corvaneout.txt)" && [[ -n "$diag_log" ]]'
check "the launcher made its recent documents entry and its diagnostics log" \
  '[[ -f "$recent/ravelin.exe.lnk" && -n "$diag_log" ]]'
check "the launcher's desktop shortcut is the one the installer made" \
  '[[ $(find "$desktop" -name "*.lnk" | wc -l) -eq 1 && -f "$desktop/$name.lnk" ]]'
check "the launcher wrote its records" \
  'reg_value "$records_key" DoRun_duskvale >/dev/null && reg_value "$download_mark_key" Download >/dev/null'
end_launcher
check "the launcher ends" '[[ -z "$(driver processes)" ]]'

# What an interrupted update leaves beside the program.
for leftover in MyClient.exe MyClient.exe.4242-1.part ravelinTmp.exe; do
  cp "$program" "$install_dir/$leftover"
done

# The quiet uninstall hands over to a copy of itself and returns at once;
# the copy's last step removes the entry. A batch file runs the command line
# exactly as written.
quiet="$(reg_value "$uninstall_key" QuietUninstallString)"
printf '@%s\r\n' "$quiet" >"$WINEPREFIX/drive_c/uninstall.bat"
"$wine" cmd /c 'C:\uninstall.bat' >>"$log" 2>&1
wait_until 60 '! reg_key_exists "$uninstall_key"'
check "the quiet uninstall removes the installed programs entry" '! reg_key_exists "$uninstall_key"'
check "the program folder is gone" '[[ ! -e "$install_dir" ]]'
for link in "$desktop/$name.lnk" "$start_menu/$name.lnk" "$recent/ravelin.exe.lnk"; do
  check "the shortcut ${link#"$home"/} is gone" '[[ ! -e "$link" ]]'
done
check "the diagnostics log is gone" '[[ ! -e "$diag_log" ]]'
for software in 'HKLM\SOFTWARE' 'HKLM\SOFTWARE\Wow6432Node'; do
  for record in 'Corvane|Tessar_duskvale' 'Corvane|DoRun_duskvale' 'Tessar software\QXM|Download'; do
    check "no value ${record#*|} under $software\\${record%%|*}" \
      '! reg_value "$software\\${record%%|*}" "${record#*|}" >/dev/null'
  done
done
check "keys left empty are gone" \
  '! reg_key_exists "$download_mark_key" && ! reg_key_exists "HKLM\\SOFTWARE\\Corvane" && ! reg_key_exists "HKLM\\SOFTWARE\\Tessar software"'
check "another program's value under the shared key stays" \
  '[[ "$(reg_value "$records_key" Tessar_othergame)" == stays ]]'
check "another program's key beside the download mark's stays" \
  '[[ "$(reg_value "HKLM\\SOFTWARE\\Wow6432Node\\Tessar software\\Other" Download)" == 1 ]]'
finish
