#!/usr/bin/env bash
# Leaving the launcher while a network fault holds its diagnostics: the time
# from the OK on the exit question to the end of the process, for a healthy
# network and for each fault, and what becomes of the report lines. Runs in
# a harness with --gateway (what goes to 192.0.2.0/24 and to the DNS server
# is dropped there), --console-standins and the services.
#   exit_under_faults.sh BIN_DIR OUT_DIR [ROUNDS]
# Every round starts the launcher once per case; with ROUNDS > 1 it is the
# exit-time benchmark (the checks still run), and the table shows the median
# and the spread. The exit must take at most 5 s in every case; the lines a
# final post could not deliver stay in the log and the next start sends them.
set -uo pipefail
bin="$1"
shots="$2"
rounds="${3:-1}"
next_version=""
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
mkdir -p "$shots"

limit_ms=5000
standins="$RAVELIN_STANDIN_DIR_UNIX"
inet_settings='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
log_file=""

console_ini() { printf '%s' "$1" >"$standins/console.ini"; }
console_ran() { grep -q "^$1" "$standins/console.log" 2>/dev/null; }

# WinINet takes the proxy from these values on every session it opens that
# asks for the system's settings (the launcher's do; the stand-in browser's
# do not): a proxy nobody answers stands for a log host whose packets are
# dropped, one by name for a DNS server that never answers. Set from the
# start, so every post of the run meets the fault; the lines wait in the log
# until a healthy start sends them.
use_proxy() {
  if [[ -n "$1" ]]; then
    "$wine" reg add "$inet_settings" /v ProxyServer /t REG_SZ /d "$1" /f
    "$wine" reg add "$inet_settings" /v ProxyEnable /t REG_DWORD /d 1 /f
  else
    "$wine" reg add "$inet_settings" /v ProxyEnable /t REG_DWORD /d 0 /f
  fi >/dev/null 2>&1
}

wait_until() {
  local tries=$(($2 * 5))
  for _ in $(seq 1 "$tries"); do
    eval "$1" && return 0
    sleep 0.2
  done
  return 1
}

uploads_count() { ctl uploads | grep -c .; }
page_fetched() { grep -q "^fetch .*status=200" "$standins/browser.log" 2>/dev/null; }
log_post_hangs() { ctl requests --path /loginer/logData.php | grep -q '"answer": "hang"'; }

diag_log() {
  [[ -n "$log_file" && -e "$log_file" ]] || log_file="$(find "$WINEPREFIX/drive_c/users" -name Corvaneout.txt 2>/dev/null | head -n 1)"
  [[ -n "$log_file" && -e "$log_file" ]] && tr '\r' '\n' <"$log_file" | grep -v '^$'
}

# Every line given on stdin is in some accepted upload.
all_uploaded() {
  python3 -c '
import json, sys
sent = set()
for row in sys.argv[1].splitlines():
    sent.update(json.loads(row)["info_lines"])
missing = [line for line in sys.stdin.read().splitlines() if line and line not in sent]
sys.exit(1 if missing else 0)' "$(ctl uploads)"
}

declare -A times
left_over=""

# One start: the case's fault is set up, the launcher waits until the fault
# holds it, then the exit question is answered OK and the time taken.
#   run_case NAME CONSOLE_INI LOG_MODE PROXY HOLDING [START_PAGE_OPTIONS]
run_case() {
  local name="$1" holding="$5" before line ms
  ctl reset >/dev/null
  : >"$standins/console.log"
  : >"$standins/browser.log"
  console_ini "$2"
  ctl log-endpoint "$3" >/dev/null
  # shellcheck disable=SC2086  # the options are words
  ctl start-page --mode normal ${6:---never} >/dev/null
  before="$left_over"
  # A kept connection to the service would carry the launcher's posts past
  # the proxy.
  [[ -n "$4" ]] && ctl connections close >/dev/null
  use_proxy "$4"
  start_installed
  if ! driver wait --kind game --visible --timeout 60000 >/dev/null; then
    check "$name: the launcher starts" false
    kill "$old" 2>/dev/null
    wait "$old" 2>/dev/null
    return
  fi
  if [[ -n "$before" && -z "$4" ]]; then
    check "$name: this start sends the lines the previous exit left" \
      "wait_until 'all_uploaded <<<\"\$before\"' 30"
  fi
  check "$name: the moment to leave in is reached" "wait_until '$holding' 60"
  sleep 1

  driver command --kind game --id 2 >/dev/null
  line="$(driver answer --button ok --until-exit --timeout 30000 | tr -d '\r' | grep exited_after_ms)"
  ms="${line#exited_after_ms=}"
  wait "$old" 2>/dev/null
  if [[ -z "$ms" ]]; then
    check "$name: the process ends after the OK" false
    kill "$old" 2>/dev/null
    return
  fi
  times[$name]+="$ms "
  check "$name: the exit takes at most $limit_ms ms (took $ms ms)" "(( ms <= limit_ms ))"
  left_over="$(diag_log)"
  use_proxy ""
}

cases=("healthy network" "ping never ends" "ping's child holds the pipe" "tracert never ends"
  "log host never answers" "log host unreachable" "DNS never answers")
install_launcher
for round in $(seq 1 "$rounds"); do
  echo "round $round of $rounds"
  run_case "healthy network" "" ok "" '(( $(uploads_count) >= 1 ))'
  check "healthy network: the last post took every line" "[[ -z \"\$left_over\" ]]"
  run_case "ping never ends" $'[ping]\r\n127.0.0.5=hang\r\n' ok "" 'console_ran "ping behaviour=hang"'
  run_case "ping's child holds the pipe" $'[ping]\r\n127.0.0.5=orphan\r\n' ok "" 'console_ran "ping behaviour=orphan"'
  run_case "tracert never ends" $'[ping]\r\n127.0.0.1=nothing\r\n127.0.0.11=nothing\r\n[tracert]\r\ndefault=hang\r\n' \
    ok "" 'console_ran "tracert behaviour=hang"' "--delay-ms 500"
  check "a console tool's fault: the last post took every line" "[[ -z \"\$left_over\" ]]"
  run_case "log host never answers" "" hang "" log_post_hangs
  check "log host never answers: the lines of the cut post stay in the log" "[[ -n \"\$left_over\" ]]"
  run_case "log host unreachable" "" ok "192.0.2.99:8080" 'console_ran "ping behaviour=normal target=127.0.0.5"'
  check "log host unreachable: the lines of the cut post stay in the log" "[[ -n \"\$left_over\" ]]"
  run_case "DNS never answers" "" ok "proxy.dusk-vale.example:8080" \
    'console_ran "ping behaviour=normal target=127.0.0.5"'
  check "DNS never answers: the lines of the cut post stay in the log" "[[ -n \"\$left_over\" ]]"
  # The next start, on a healthy network, sends what the last one left.
  run_case "healthy network" "" ok "" '(( $(uploads_count) >= 1 ))'
done
shot after-the-last-exit

echo
printf '%-30s %8s %8s %8s  %s\n' "exit after the OK" median min max "(ms, $rounds round(s))"
for name in "${cases[@]}"; do
  read -r -a samples <<<"${times[$name]:-}"
  [[ ${#samples[@]} -gt 0 ]] || continue
  mapfile -t sorted < <(printf '%s\n' "${samples[@]}" | sort -n)
  printf '%-30s %8s %8s %8s\n' "$name" "${sorted[$((${#sorted[@]} / 2))]}" "${sorted[0]}" "${sorted[-1]}"
done
# The same as figures for scripts/bench, each beside the healthy exit.
for name in "${cases[@]}"; do
  [[ -n "${times[$name]:-}" ]] || continue
  slug="$(tr -c 'a-z0-9\n' '_' <<<"${name,,}" | tr -s '_')"
  reference=()
  [[ "$name" != "healthy network" ]] && reference=(exit.healthy_network "${times[healthy network]}")
  "$root/scripts/lib/bench-table" samples "exit.$slug" ms "from the OK on the exit question to the process's end: $name" \
    "${times[$name]}" "${reference[@]}"
done
finish
