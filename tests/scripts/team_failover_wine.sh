#!/usr/bin/env bash
# korvane.exe under Wine, logged in to a team whose database server keeps a synchronous
# standby: when the test asks (files in the folder it is given), the server is killed with
# SIGKILL and the standby promoted, and the program's next change must go through. Run by scripts/test after the other Windows tests; needs both trees built.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/lib/postgres.sh"
. "$root/scripts/lib/wine.sh"
control=$(mktemp -d)
watcher=
trap '[ -z "$watcher" ] || kill "$watcher" 2>/dev/null || true; pg_test_stop; rm -rf "$control"' EXIT
# Every commit must outlive the kill, as on a real pair of servers.
export PG_TEST_DURABLE=1
pg_test_start >/dev/null || { echo "failover: cannot start PostgreSQL" >&2; exit 2; }
PG_TEST_SYNC=1 pg_test_start_standby || { echo "failover: the standby did not start" >&2; exit 2; }
# Both servers, the writable one taken: what a member's file of such a team names.
export KORVANE_TEST_PG="${KORVANE_TEST_PG/Server=127.0.0.1;/Server=127.0.0.1,127.0.0.2;}pqopt={target_session_attrs=read-write};"
export KORVANE_TEST_FAILOVER="$control"
# "hold": the server stops sending its changes to the standby (its WAL sender is stopped), so
# that what is committed from then on without waiting for the standby ("local") is seen by the
# members yet lost with the server. "kill": the server is killed and the standby promoted.
(
  until [ -e "$control/hold" ]; do sleep 0.1; done
  primary=$(head -n 1 "$PG_TEST_DIR/data/postmaster.pid")
  sender=$(pgrep -P "$primary" -f 'walsender' || true)
  [ -n "$sender" ] && kill -STOP $sender && touch "$control/held"
  until [ -e "$control/kill" ]; do sleep 0.1; done
  pg_test_kill
  pg_test_promote && touch "$control/promoted"
) &
watcher=$!

wine_env "$root/build/win64/wineprefix"
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  . "$1/scripts/lib/wine.sh"
  wine_prefix_ready
  wine_start_detached
  wine_hold_desktop "$1/build/win64/tests/win32/programs/desktop_holder.exe"
  ctest --test-dir "$1/build/win64" --output-on-failure --timeout 240 -R "^TeamFailoverTest\."
  rc=$?
  wine_stop
  exit $rc' _ "$root"
