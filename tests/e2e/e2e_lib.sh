# Shared steps of the end-to-end scripts; sourced with bin, shots and
# next_version set. Runs inside the harness (WINEPREFIX, RAVELIN_RUN_DIR).
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
wine="${RAVELIN_WINE:-wine}"
install_dir="$WINEPREFIX/drive_c/Games/Dusk Vale"
installed='C:\Games\Dusk Vale\ravelin.exe'
failures=0
checks=0
old=""

ctl() { python3 "$root/tools/standins/service/standinctl" "$@"; }
driver() { "$wine" "$bin/ravelin-driver.exe" "$@" 2>/dev/null; }
# Everything about the installed launcher's windows and processes.
installed_driver() { driver "$@" --image "$installed"; }

check() {
  checks=$((checks + 1))
  if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}

shot() {
  mkdir -p "$shots"
  import -window root "$shots/$1.png" 2>/dev/null
}

install_launcher() {
  mkdir -p "$install_dir"
  cp "$bin/ravelin.exe" "$install_dir/ravelin.exe"
}

# The manifest offers the build one version up, with these notes.
offer_next_build() {
  printf '[OsUpdate]\r\nversion=%s\r\nhttp=http://127.0.0.1/loginer/tr/MyClient.exe\r\ninfo=%s\r\n' \
    "$next_version" "$1" | ctl manifest tr - >/dev/null
}

# Starts the installed launcher as its shortcut would; its pid is in $old.
start_installed() {
  (cd "$install_dir" && exec "$wine" "$installed") >"$RAVELIN_RUN_DIR/old.log" 2>&1 &
  old=$!
}

# The relaunched build shows its frame as after a start from the shortcut:
# layered, visible, on the screen, with its game window in the opening, and
# its picture drawn (a frame that the system takes for visible can still be
# missing from the screen). Takes the screenshot NAME.
check_new_build_shown() {
  local frame game
  frame="$(installed_driver wait --kind main --visible --timeout 20000)"
  check "the new build shows its frame" "[[ \"\$frame\" == *'visible=1'*'layered=1'* ]]"
  game="$(installed_driver wait --kind game --visible --timeout 20000)"
  check "its game window is shown" "[[ -n \"\$game\" ]]"
  read -r fl ft fr fb < <(sed -E 's/.* rect=(-?[0-9]+),(-?[0-9]+),(-?[0-9]+),(-?[0-9]+) .*/\1 \2 \3 \4/' <<<"$frame")
  read -r gl gt gr gb < <(sed -E 's/.* rect=(-?[0-9]+),(-?[0-9]+),(-?[0-9]+),(-?[0-9]+) .*/\1 \2 \3 \4/' <<<"$game")
  check "the frame lies on the screen" "(( fl >= 0 && ft >= 0 && fr <= 1280 && fb <= 1024 && fr > fl && fb > ft ))"
  check "the game window lies in the frame's opening" \
    "(( gl > fl && gt > ft && gr < fr && gb < fb && gr > gl && gb > gt ))"
  sleep 1
  shot "$1"
  # The frame's band above the opening: its picture, not the black root.
  local band
  band="$(convert "$shots/$1.png" -crop "$((fr - fl))x$((gt - ft))+$fl+$ft" -colorspace gray -format '%[fx:mean]' info:)"
  check "the frame's picture is on the screen" "awk -v m=\"\$band\" 'BEGIN { exit !(m > 0.05) }'"
}

# The old program ends as the game's exit does, and the hand-over puts the
# offered build in its place and removes its own copy.
check_handed_over() {
  wait "$old"
  local code=$?
  check "the old program ends as the game's exit does" "[[ $code -eq 1 ]]"
  for _ in $(seq 1 150); do
    [[ ! -e "$install_dir/ravelinTmp.exe" && ! -e "$install_dir/MyClient.exe" ]] && break
    sleep 0.2
  done
  check "the hand-over copy is gone" "[[ ! -e \"\$install_dir/ravelinTmp.exe\" ]]"
  check "the download was moved into place" "[[ ! -e \"\$install_dir/MyClient.exe\" ]]"
  check "the program file is the new build" "cmp -s \"\$install_dir/ravelin.exe\" \"\$bin/ravelin-next.exe\""
}

close_installed() {
  installed_driver close >/dev/null
  sleep 1
}

finish() {
  echo "$((checks - failures)) passed, $failures failed"
  [[ $failures -eq 0 ]]
}

# Answers the launcher's next message box with `button` once it is shown,
# waits until it has gone, and prints its caption.
answer_box() {
  local line hwnd
  line="$(driver wait --kind msgbox --visible --timeout 30000)" || return 1
  hwnd="$(sed -E 's/.* hwnd=([0-9A-Fa-f]+) .*/\1/' <<<"$line")"
  driver answer --button "$1" --timeout 2000 >/dev/null || return 1
  for _ in $(seq 1 100); do
    driver windows | grep -q "hwnd=$hwnd " || break
    sleep 0.1
  done
  tr -d '\r' <<<"$line" | sed -E 's/.* title="(.*)"$/\1/'
}

# Waits until the installed launcher's dialog offers the build.
wait_for_offer() {
  local notes=""
  for _ in $(seq 1 100); do
    notes="$(driver text --kind update --id 1002 --timeout 500 | tr -d '\r')"
    [[ "$notes" == "$1" ]] && return 0
    sleep 0.2
  done
  return 1
}
