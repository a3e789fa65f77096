# The web view of scripts/run leaves nothing behind, however its script ends (kill -9 included):
# a run's private folder is named after the script's process, every process the run starts
# carries the folder's name in its environment (KORVANE_WEB_RUN), and whatever carries it is
# ended, and the folder removed, once the script is gone: by the run's guardian, or failing that
# by the user's next run. Source this file.

# The start time of a live process, nothing for a zombie or an unused pid: with the pid it names
# one process even after the pid is used again.
webview_started() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  # shellcheck disable=SC2086
  set -- ${stat##*\) }  # the fields after the program's name, which may hold spaces
  [ "$1" != Z ] && echo "${20}"
}

# A new private folder (0700) for this script's run.
webview_folder() {
  mktemp -d "${TMPDIR:-/tmp}/korvane-web.$$-$(webview_started $$).XXXXXX"
}

webview_run_alive() {  # a run's folder: whether the script that made it still runs
  local id=${1##*/korvane-web.}
  id=${id%.*}
  [ "$(webview_started "${id%-*}")" = "${id#*-}" ]
}

# Ends every process of the run of that folder, then removes the folder. The caller must not
# carry the run's name itself.
webview_end_run() {
  local folder=$1 round pids
  for round in $(seq 1 50); do
    pids=$(grep -lzxF "KORVANE_WEB_RUN=$folder" /proc/[0-9]*/environ 2>/dev/null |
           cut -d/ -f3) || true
    [ -n "$pids" ] || break
    # A second to end as asked (the Wine server then saves the prefix's registry), then killed.
    # shellcheck disable=SC2086
    kill -s "$([ "$round" -le 10 ] && echo TERM || echo KILL)" $pids 2>/dev/null || true
    sleep 0.1
  done
  rm -rf "$folder"
}

# The guardian: started in a session of its own before the run's first process, it outlives the
# script and cleans up after it.
webview_guard() {  # the run's folder
  while webview_run_alive "$1"; do sleep 0.2; done
  webview_end_run "$1"
}

# What earlier runs of this user left when their guardian was killed too (or the machine
# stopped): folders of the user's whose script is gone, and their processes.
webview_clean_dead() {
  local dir
  for dir in "${TMPDIR:-/tmp}"/korvane-web.*; do
    [ -d "$dir" ] && [ ! -L "$dir" ] && [ -O "$dir" ] || continue
    webview_run_alive "$dir" || webview_end_run "$dir"
  done
}
