#!/usr/bin/env bash
# The whole self-update with real processes and files, inside the harness
# (game service, stand-in controls, X server), from the launcher built here
# to the same launcher one file version higher:
#   installed launcher -> silent check offers the build -> the dialog shows
#   its notes (a second offer meanwhile opens nothing) -> Update downloads it
#   and its signature -> the restart question OK ends the old program -> the
#   hand-over copy replaces the program file -> the new build starts visible
#   with "Delete|...", removes the copy, and runs alone.
#   update_flow.sh BIN_DIR SHOT_DIR NEXT_VERSION
set -uo pipefail
bin="$1"
shots="$2"
next_version="$3"
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"

install_launcher
ctl start-page --mode normal --never >/dev/null
ctl build /loginer/tr/MyClient.exe "$bin/ravelin-next.exe" --mode trickle --trickle-bytes 262144 --trickle-ms 20 >/dev/null
offer_next_build "Faster loading and a new valley."

start_installed
check "the silent check opens the update dialog" "driver wait --kind update --visible --timeout 30000 >/dev/null"
notes=""
for _ in $(seq 1 50); do
  notes="$(driver text --kind update --id 1002 | tr -d '\r')"
  [[ "$notes" == 'Faster loading and a new valley.' ]] && break
  sleep 0.2
done
check "the dialog shows the notes" "[[ \"\$notes\" == 'Faster loading and a new valley.' ]]"
shot update-offered

# A second offer while the dialog is open (a late silent check) opens no
# second dialog and leaves the program answering.
driver message --kind game --msg 1124 >/dev/null
sleep 1
check "a second offer opens no second dialog" "[[ \$(driver windows | grep -c 'kind=update') -eq 1 ]]"
check "the program still answers" "[[ \"\$(driver text --kind update --id 1002 --timeout 3000 | tr -d '\r')\" == 'Faster loading and a new valley.' ]]"

driver click --kind update --id 1 >/dev/null
# The status keeps the last percentage until the restart question.
status=""
for _ in $(seq 1 50); do
  status="$(driver text --kind update --id 1013 | tr -d '\r')"
  [[ "$status" == *% ]] && break
  sleep 0.2
done
check "the status line shows the download's progress" "[[ \"\$status\" == *% ]]"
answer="$(driver answer --button ok --timeout 30000 | tr -d '\r')"
check "the restart question is asked" "[[ -n \"\$answer\" ]]"

check_handed_over
check "the folder holds only the program" "[[ \$(ls \"\$install_dir\" | wc -l) -eq 1 ]]"
check_new_build_shown after-update
check "exactly one launcher runs" "[[ \$(driver processes | wc -l) -eq 1 ]]"
check "the new build is not offered itself" "! driver wait --kind update --timeout 3000 >/dev/null 2>&1"
close_installed
finish
