#!/usr/bin/env bash
# The update from the settings menu, with the real launcher and a real
# second build: the exit question comes before anything is started, so a
# player who declines it keeps one program and no hand-over waiting for it;
# a player who accepts it gets the new build, alone.
#   update_from_the_menu.sh BIN_DIR SHOT_DIR NEXT_VERSION
set -uo pipefail
bin="$1"
shots="$2"
next_version="$3"
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
manifest_path=/loginer/tr/login_mini_tr_vx.ini

install_launcher
ctl start-page --mode normal --never >/dev/null
ctl build /loginer/tr/MyClient.exe "$bin/ravelin-next.exe" >/dev/null
start_installed
# No manifest until the silent check has asked for it: only the menu offers.
for _ in $(seq 1 100); do
  [[ -n "$(ctl requests --path "$manifest_path")" ]] && break
  sleep 0.2
done
check "the silent check asked and found nothing" "[[ -n \"\$(ctl requests --path $manifest_path)\" ]]"
offer_next_build "From the menu."

update_from_menu() {
  driver command --kind game --id 32786 >/dev/null
  wait_for_offer "From the menu." || return 1
  driver click --kind update --id 1 >/dev/null
  restart="$(answer_box ok)" || return 1
  exit_question="$(answer_box "$1")" || return 1
  # The restart question has the updater's caption, the exit question the game's.
  [[ -n "$restart" && "$exit_question" == "Dusk Vale" && "$restart" != "$exit_question" ]]
}

check "the menu's update offers the build, asks to restart, then the exit question" "update_from_menu cancel"
sleep 2
check "declined: one launcher runs" "[[ \$(driver processes | wc -l) -eq 1 ]]"
check "declined: no hand-over runs" "[[ \$(driver processes --image ravelinTmp.exe | wc -l) -eq 0 ]]"
check "declined: no hand-over copy was made" "[[ ! -e \"\$install_dir/ravelinTmp.exe\" ]]"
check "declined: the download is kept for the next attempt" "cmp -s \"\$install_dir/MyClient.exe\" \"\$bin/ravelin-next.exe\""
check "declined: the program goes on" "driver wait --kind game --timeout 3000 >/dev/null"
shot declined

check "the menu's update, accepted both times" "update_from_menu ok"
check_handed_over
check_new_build_shown accepted
check "the new build runs alone" "[[ \$(driver processes | wc -l) -eq 1 ]]"
close_installed
finish
