#!/usr/bin/env bash
# Installing a newer build over the release while its launcher runs:
#   install A (the release) -> the player's records lie under
#   HKEY_LOCAL_MACHINE -> A runs -> the silent install of B (the same
#   launcher one file version higher, packed as a release packs it) waits,
#   and A's program file stays whole -> A ends -> B's installer finishes:
#   B is the program, the entry shows B's version, the records are kept.
#   install_over_older.sh RELEASE_DIR BIN_DIR
set -uo pipefail
release="$1"
bin="$2"
source "$(dirname "${BASH_SOURCE[0]}")/install_lib.sh"

newer="$RAVELIN_RUN_DIR/ravelin-next.exe"
newer_setup="$RAVELIN_RUN_DIR/DuskValeSetup-next.exe"
x86_64-w64-mingw32-objcopy --strip-debug "$bin/ravelin-next.exe" "$newer"
makensis -V1 -WX -INPUTCHARSET UTF8 -DLANGUAGE="$language_digit" -DPROGRAM="$newer" -DOUTFILE="$newer_setup" \
  "$root/installer/setup.nsi" >>"$log" 2>&1
older_version="$(file_version "$program")"
newer_version="$(file_version "$newer")"
check "B's file version ($newer_version) is higher than A's ($older_version)" \
  '[[ "$older_version" != "$newer_version" && "$(printf "%s\n" "$older_version" "$newer_version" | sort -V | tail -n1)" == "$newer_version" ]]'

install_silently "$setup"
code=$?
check "A installs" '[[ $code -eq 0 ]]'
import_registry <<'EOF'
[HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\Corvane]
"Tessar_duskvale"="partnersite"
"DoRun_duskvale"="1"
EOF

start_from_start_menu
check "A runs" 'driver wait --kind main --visible --timeout 30000 >/dev/null'
install_silently "$newer_setup" &
installer=$!
sleep 3
check "B's installer waits while A runs" 'kill -0 $installer 2>/dev/null'
check "A's program file stays whole meanwhile" 'cmp -s "$program" "$install_dir/ravelin.exe"'
end_launcher
wait $installer
code=$?
check "B's installer finishes once A has ended" '[[ $code -eq 0 ]]'
check "B is the program" 'cmp -s "$newer" "$install_dir/ravelin.exe"'
check "no temporary program file is left" '[[ ! -e "$install_dir/ravelin.exe.new" ]]'
check "the installed programs entry shows B's version" \
  '[[ "$(reg_value "$uninstall_key" DisplayVersion)" == "$newer_version" ]]'
check "the player's promotion source is kept" '[[ "$(reg_value "$records_key" Tessar_duskvale)" == partnersite ]]'
check "the first-run mark is kept" '[[ "$(reg_value "$records_key" DoRun_duskvale)" == 1 ]]'
finish
