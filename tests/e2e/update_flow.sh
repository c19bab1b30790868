#!/usr/bin/env bash
# The whole self-update with real processes and files, inside the harness
# (game service, stand-in controls, X server):
#   installed launcher -> silent check offers a build -> the dialog shows
#   its notes -> Update downloads it -> the restart question OK ends the old
#   program -> the hand-over copy replaces the program file -> the new build
#   starts with "Delete|..." and removes the copy.
#   update_flow.sh BIN_DIR
set -uo pipefail
bin="$1"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
wine="${RAVELIN_WINE:-wine}"
ctl() { python3 "$root/tools/standins/service/standinctl" "$@"; }
driver() { "$wine" "$bin/ravelin-driver.exe" "$@" 2>/dev/null; }
failures=0
checks=0
check() {
  checks=$((checks + 1))
  if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}

install_dir="$WINEPREFIX/drive_c/Games/Dusk Vale"
mkdir -p "$install_dir"
cp "$bin/ravelin.exe" "$install_dir/ravelin.exe"
# The offered build: the same program with a marker appended past its last
# section, so the file is still a whole program and can be recognised.
new_build="$RAVELIN_RUN_DIR/new_build.exe"
cp "$bin/ravelin.exe" "$new_build"
printf 'RAVELIN-NEW-BUILD' >>"$new_build"

ctl start-page --mode normal --never >/dev/null
ctl build /loginer/tr/MyClient.exe "$new_build" --mode trickle --trickle-bytes 262144 --trickle-ms 20 >/dev/null
printf '[OsUpdate]\r\nversion=1.0.0.2\r\nhttp=http://127.0.0.1/loginer/tr/MyClient.exe\r\ninfo=Faster loading and a new valley.\r\n' |
  ctl manifest tr - >/dev/null

(cd "$install_dir" && exec "$wine" "C:\\Games\\Dusk Vale\\ravelin.exe") >"$RAVELIN_RUN_DIR/old.log" 2>&1 &
old=$!

check "the silent check opens the update dialog" "driver wait --kind update --visible --timeout 30000 >/dev/null"
notes=""
for _ in $(seq 1 50); do
  notes="$(driver text --kind update --id 1002 | tr -d '\r')"
  [[ "$notes" == 'Faster loading and a new valley.' ]] && break
  sleep 0.2
done
check "the dialog shows the notes" "[[ \"\$notes\" == 'Faster loading and a new valley.' ]]"
import -window root "$RAVELIN_RUN_DIR/update-offered.png" 2>/dev/null

driver click --kind update --id 1 >/dev/null
# The status keeps the last percentage until the restart question.
status=""
for _ in $(seq 1 50); do
  status="$(driver text --kind update --id 1013 | tr -d '\r')"
  [[ "$status" == *% ]] && break
  sleep 0.2
done
check "the status line shows the download's progress" "[[ \"\$status\" == *% ]]"
# The next start must not be offered the same build again.
printf '[OsUpdate]\r\nversion=1.0.0.1\r\nhttp=http://127.0.0.1/loginer/tr/MyClient.exe\r\n' | ctl manifest tr - >/dev/null
answer="$(driver answer --button ok --timeout 30000 | tr -d '\r')"
check "the restart question is asked" "[[ -n \"\$answer\" ]]"

wait "$old"
check "the old program ends" "true"
for _ in $(seq 1 150); do
  [[ ! -e "$install_dir/ravelinTmp.exe" && ! -e "$install_dir/MyClient.exe" ]] && break
  sleep 0.2
done
check "the hand-over copy is gone" "[[ ! -e \"\$install_dir/ravelinTmp.exe\" ]]"
check "the download was moved into place" "[[ ! -e \"\$install_dir/MyClient.exe\" ]]"
check "the program file is the new build" "tail -c 17 \"\$install_dir/ravelin.exe\" | grep -q RAVELIN-NEW-BUILD"
check "the folder holds only the program" "[[ \$(ls \"\$install_dir\" | wc -l) -eq 1 ]]"
check "the new build runs" "driver wait --kind main --image 'C:\\Games\\Dusk Vale\\ravelin.exe' --timeout 20000 >/dev/null"
driver close --image 'C:\Games\Dusk Vale\ravelin.exe' >/dev/null
sleep 1

echo "$((checks - failures)) passed, $failures failed"
[[ $failures -eq 0 ]]
