# A private PostgreSQL for one test run: its own cluster in a temporary folder, reached only
# over 127.0.0.1 on a free port (and a socket in that folder), with SCRAM passwords and TLS
# from a certificate authority made for the run. Source this file, call pg_test_start, and
# make sure pg_test_stop runs however the run ends (a trap on EXIT): it stops the server and
# deletes the folder.
#
# pg_test_start exports what the tests read:
#   KORVANE_TEST_PG           ODBC connection string, without the password
#   KORVANE_TEST_PG_PASSWORD  the superuser's password, made anew for the run
#   KORVANE_TEST_PG_CA        the certificate authority that signed the server's certificate
#                             (which names IP 127.0.0.1, and 127.0.0.2 for a standby)
#   ODBCSYSINI                the folder of the driver registration the tests use (below)

pg_test_bin() {
  local dir
  dir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
  [ -x "$dir/initdb" ] || { echo "postgres: no PostgreSQL server found: run scripts/setup" >&2; return 1; }
  echo "$dir"
}

# initdb refuses to run as root, so as root the cluster belongs to Debian's postgres user;
# anyone else owns it directly.
pg_test_as_owner() {
  if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

pg_test_free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# The test CA and the server's certificate (EC keys: made in milliseconds), and the password
# file that initdb reads.
pg_test_certificates() {
  local dir="$1" password="$2"
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
    -subj "/CN=korvane test CA" -keyout "$dir/ca.key" -out "$dir/ca.crt" 2>/dev/null &&
  openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
    -subj "/CN=127.0.0.1" -keyout "$dir/server.key" -out "$dir/server.csr" 2>/dev/null &&
  printf 'subjectAltName=IP:127.0.0.1,IP:127.0.0.2\n' > "$dir/server.ext" &&
  openssl x509 -req -in "$dir/server.csr" -CA "$dir/ca.crt" -CAkey "$dir/ca.key" \
    -CAcreateserial -days 2 -extfile "$dir/server.ext" -out "$dir/server.crt" 2>/dev/null &&
  rm -f "$dir/ca.key" "$dir/ca.srl" "$dir/server.csr" "$dir/server.ext" &&
  (umask 077 && printf '%s\n' "$password" > "$dir/pwfile") &&
  chmod 600 "$dir/server.key"
}

pg_test_start() {
  local bin dir password port started=0 attempt
  bin=$(pg_test_bin) || return 1
  dir=$(mktemp -d "${TMPDIR:-/tmp}/korvane-pg.XXXXXX") || return 1
  # Set before anything can fail, so the trap's pg_test_stop removes what was made.
  PG_TEST_DIR="$dir"
  PG_TEST_BIN="$bin"
  password=$(openssl rand -hex 24)

  pg_test_certificates "$dir" "$password" || { echo "postgres: could not make the test certificates" >&2; return 1; }
  if [ "$(id -u)" = 0 ]; then chown -R postgres: "$dir"; fi
  # The tests read the CA certificate, also when they run as another user.
  chmod 755 "$dir"

  pg_test_as_owner "$bin/initdb" -D "$dir/data" -U postgres --pwfile="$dir/pwfile" \
    --auth=scram-sha-256 --encoding=UTF8 --locale=C --no-sync >"$dir/initdb.log" 2>&1 || {
    echo "postgres: initdb failed:" >&2; cat "$dir/initdb.log" >&2; return 1; }
  rm -f "$dir/pwfile"
  cat >> "$dir/data/postgresql.conf" <<EOF
listen_addresses = '127.0.0.1'
unix_socket_directories = '$dir'
ssl = on
ssl_cert_file = '$dir/server.crt'
ssl_key_file = '$dir/server.key'
EOF
  # A throwaway cluster: durability only costs time here, unless the run kills the server and
  # counts on every commit surviving it (PG_TEST_DURABLE=1).
  if [ "${PG_TEST_DURABLE:-0}" != 1 ]; then
    printf 'fsync = off\nsynchronous_commit = off\nfull_page_writes = off\n' >> "$dir/data/postgresql.conf"
  fi

  # The free port is free when asked; another program may take it before the server does,
  # so a failed start tries another.
  for attempt in 1 2 3; do
    port=$(pg_test_free_port)
    if pg_test_as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -o "-p $port" -w -t 30 \
         start >/dev/null 2>&1; then
      started=1
      break
    fi
  done
  if [ $started = 0 ]; then
    echo "postgres: the server did not start:" >&2
    cat "$dir/server.log" >&2
    return 1
  fi

  # The driver as the system registers it, but with its communication log off: Debian's
  # registration turns it on, and each test program would leave a psqlodbc_*.log in /tmp.
  # unixODBC reads this file instead of /etc/odbcinst.ini (under Wine too: the driver
  # manager is the host's, in the same process).
  local driver
  driver=$(awk -F= '/^\[/ { section = $0 } section == "[PostgreSQL Unicode]" && $1 ~ /^Driver *$/ { sub(/^ */, "", $2); print $2; exit }' /etc/odbcinst.ini)
  [ -n "$driver" ] || { echo "postgres: /etc/odbcinst.ini names no \"PostgreSQL Unicode\" driver" >&2; return 1; }
  printf '[PostgreSQL Unicode]\nDriver=%s\nCommLog=0\nDebug=0\n' "$driver" > "$dir/odbcinst.ini"
  export ODBCSYSINI="$dir"

  PG_TEST_PORT="$port"
  export KORVANE_TEST_PG="Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=$port;Database=postgres;Uid=postgres;"
  export KORVANE_TEST_PG_PASSWORD="$password"
  export KORVANE_TEST_PG_CA="$dir/ca.crt"
}

# Ends the server at once, as a crash would: the postmaster and every process it started get
# SIGKILL, and nothing is written on the way out.
pg_test_kill() {
  local pid
  pid=$(head -n 1 "$PG_TEST_DIR/data/postmaster.pid")
  kill -9 $(pgrep -P "$pid") "$pid" 2>/dev/null || true
  while kill -0 "$pid" 2>/dev/null; do sleep 0.05; done
}

# Starts the server again on its port, after a stop or a kill (it then recovers from its log).
pg_test_restart() {
  pg_test_as_owner "$PG_TEST_BIN/pg_ctl" -D "$PG_TEST_DIR/data" -l "$PG_TEST_DIR/server.log" \
    -o "-p $PG_TEST_PORT" -w -t 60 start >/dev/null 2>&1
}

# A standby of the server, kept up to date by streaming replication: a copy taken with
# pg_basebackup, listening on 127.0.0.2 at the same port (a connection string may name both
# hosts, and psqlODBC's Port holds one number), with a socket folder of its own. With
# PG_TEST_SYNC=1 the server waits for it at each commit (synchronous_standby_names), so that
# a change reported as done is on both. After pg_test_start; pg_test_stop stops it too.
pg_test_start_standby() {
  local standby="$PG_TEST_DIR/standby"
  mkdir -p "$PG_TEST_DIR/standby-socket" && chmod 700 "$PG_TEST_DIR/standby-socket" || return 1
  if [ "$(id -u)" = 0 ]; then chown postgres: "$PG_TEST_DIR/standby-socket"; fi
  pg_test_as_owner env PGPASSWORD="$KORVANE_TEST_PG_PASSWORD" "$PG_TEST_BIN/pg_basebackup" \
    -h "$PG_TEST_DIR" -p "$PG_TEST_PORT" -U postgres -D "$standby" -X stream -R \
    -d "application_name=korvane_standby" >"$PG_TEST_DIR/basebackup.log" 2>&1 || {
    echo "postgres: the standby's copy failed:" >&2; cat "$PG_TEST_DIR/basebackup.log" >&2; return 1; }
  printf "listen_addresses = '127.0.0.2'\nunix_socket_directories = '%s'\n" "$PG_TEST_DIR/standby-socket" \
    >> "$standby/postgresql.conf"
  if [ "${PG_TEST_SYNC:-0}" = 1 ]; then
    printf "synchronous_standby_names = 'korvane_standby'\nsynchronous_commit = on\n" >> "$PG_TEST_DIR/data/postgresql.conf"
    pg_test_as_owner "$PG_TEST_BIN/pg_ctl" -D "$PG_TEST_DIR/data" reload >/dev/null 2>&1 || return 1
  fi
  pg_test_as_owner "$PG_TEST_BIN/pg_ctl" -D "$standby" -l "$PG_TEST_DIR/standby.log" -o "-p $PG_TEST_PORT" \
    -w -t 60 start >/dev/null 2>&1 || {
    echo "postgres: the standby did not start:" >&2; cat "$PG_TEST_DIR/standby.log" >&2; return 1; }
}

# Makes the standby the writable server, as after its primary was lost.
pg_test_promote() {
  pg_test_as_owner "$PG_TEST_BIN/pg_ctl" -D "$PG_TEST_DIR/standby" -w -t 60 promote >/dev/null 2>&1
}

# Safe to call more than once and when the start failed half-way.
pg_test_stop() {
  [ -n "${PG_TEST_DIR:-}" ] || return 0
  if [ -f "$PG_TEST_DIR/standby/postmaster.pid" ]; then
    pg_test_as_owner "$PG_TEST_BIN/pg_ctl" -D "$PG_TEST_DIR/standby" -m immediate -w -t 60 stop >/dev/null 2>&1 || true
  fi
  # A server killed on purpose (pg_test_kill) and not started again has nothing to stop.
  if [ -f "$PG_TEST_DIR/data/postmaster.pid" ] && kill -0 "$(head -n 1 "$PG_TEST_DIR/data/postmaster.pid")" 2>/dev/null; then
    # A server that does not stop in a minute is ended at once rather than left running
    # over a deleted folder.
    if ! pg_test_as_owner "$PG_TEST_BIN/pg_ctl" -D "$PG_TEST_DIR/data" -m fast -w -t 60 stop >/dev/null 2>&1; then
      echo "postgres: the test server did not stop; ending it" >&2
      tail -n 20 "$PG_TEST_DIR/server.log" >&2
      pg_test_as_owner "$PG_TEST_BIN/pg_ctl" -D "$PG_TEST_DIR/data" -m immediate -w stop >/dev/null 2>&1 || true
    fi
  fi
  rm -rf "$PG_TEST_DIR"
  PG_TEST_DIR=
  unset KORVANE_TEST_PG KORVANE_TEST_PG_PASSWORD KORVANE_TEST_PG_CA ODBCSYSINI
}
