# Shared steps of the install tests; sourced with release (the folder that
# scripts/release wrote, holding the Turkish build) and bin (its build tree's
# bin folder: the driver, ravelin-next.exe) set. Runs inside the harness
# (WINEPREFIX, RAVELIN_RUN_DIR), where Windows is 64-bit: the launcher keeps
# its records under the Wow6432Node forms of its keys.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
wine="${RAVELIN_WINE:-wine}"
log="$RAVELIN_RUN_DIR/install-test.log"
setup="$release/DuskValeSetup-tr.exe"
program="$release/ravelin-tr.exe"
language_digit=1
name="Dusk Vale"

home="$(find "$WINEPREFIX/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -n1)"
install_dir="$home/AppData/Local/Programs/Dusk Vale"
desktop="$home/Desktop"
start_menu="$home/AppData/Roaming/Microsoft/Windows/Start Menu"
recent="$home/AppData/Roaming/Microsoft/Windows/Recent"
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\DuskVale'
records_key='HKLM\SOFTWARE\Wow6432Node\Corvane'
download_mark_key='HKLM\SOFTWARE\Wow6432Node\Tessar software\QXM'

failures=0
checks=0

check() {
  checks=$((checks + 1))
  if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}

finish() {
  echo "$((checks - failures)) passed, $failures failed"
  [[ $failures -eq 0 ]]
}

driver() { "$wine" "$bin/ravelin-driver.exe" "$@" 2>/dev/null; }

# Retries the shell condition every 0.2 s for up to `seconds`.
wait_until() {
  local seconds="$1" condition="$2"
  for _ in $(seq 1 $((seconds * 5))); do
    eval "$condition" && return 0
    sleep 0.2
  done
  return 1
}

# Prints a registry value's data; fails when the key or the value is missing.
reg_value() {
  "$wine" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    awk -F '    ' -v name="$2" '$2 == name { print $4; found = 1 } END { exit !found }'
}
reg_key_exists() { "$wine" reg query "$1" >/dev/null 2>&1; }

# Lines of a .reg file (without its header) into the registry.
import_registry() {
  { echo 'REGEDIT4'; echo; cat; } >"$WINEPREFIX/drive_c/import.reg"
  "$wine" regedit /S 'C:\import.reg' >>"$log" 2>&1
}

# The file version text in a program's version resource.
file_version() { strings -el "$1" | grep -A1 -x FileVersion | tail -n1; }

install_silently() { "$wine" "$1" /S >>"$log" 2>&1; }

start_from_start_menu() { "$wine" start /unix "$start_menu/$name.lnk" >>"$log" 2>&1; }

# Ends the launcher as the player does and waits until its process is gone.
end_launcher() {
  driver close >/dev/null
  wait_until 30 '[[ -z "$(driver processes)" ]]'
}
