#!/usr/bin/env bash
# scripts/run without a display, as another local user (nobody) meets it: the display, the VNC
# socket and the web port's other loopback (::1) are out of its reach, no secret shows on a
# command line or in an environment it can read, and a kill -9 of the script leaves nothing
# running and no private folder. Run as root, after the build.
set -uo pipefail
[ "$(id -u)" = 0 ] || { echo "run_web_test.sh: run it as root (it acts as the user nobody too)"; exit 1; }
root=$(cd "$(dirname "$0")/../.." && pwd) status=0
out=$(mktemp -d)  # 0700: the run's output holds the address with its password
expect() {  # what must hold, then the command that shows it
  if "${@:2}" >/dev/null 2>&1; then echo "ok: $1"; else echo "FAILED: $1"; status=1; fi
}
not() { ! "$@"; }
nobody() { runuser -u nobody -- "$@"; }
hello='import socket, sys
s = socket.socket(socket.AF_UNIX); s.connect(sys.argv[1]); assert s.recv(4) == b"RFB "'

# Each program the run starts by these names writes its command line down first: one showing a
# secret is over before anyone could look for it in /proc.
mkdir "$out/bin"
for name in xauth Xvfb x11vnc websockify setsid setpriv wine; do
  printf '#!/bin/sh\necho "$*" >>%s/argv\nexec %s "$@"\n' "$out" "$(command -v $name)" >"$out/bin/$name"
done
chmod +x "$out"/bin/*
env -u DISPLAY PATH="$out/bin:$PATH" "$root/scripts/run" >"$out/run.log" 2>&1 &
run=$!
trap 'kill $run 2>/dev/null; wait; rm -rf "$out"' EXIT
for _ in $(seq 300); do
  grep -q '^Korvane is running' "$out/run.log" && break; kill -0 $run 2>/dev/null || break; sleep 1
done
url=$(grep -m 1 -o 'http://[^ ]*' "$out/run.log") || { tail -n 5 "$out/run.log"; exit 1; }
port=${url#http://*:} port=${port%%/*}
work=$(dirname "$(grep -m 1 -o '[^ ]*/server-auth' "$out/argv")") && display=:$(cat "$work/display")
secrets() { xauth -f "$work/server-auth" list | awk '{ print $3 }'; echo "${url##*#password=}"; }

expect "the address names 127.0.0.1, and anyone loads its page" nobody python3 -c 'import sys, urllib.request
assert sys.argv[1].startswith("http://127.0.0.1:"); urllib.request.urlopen(sys.argv[1])' "$url"
expect "nobody cannot take the port on ::1" not nobody python3 -c \
  'import socket, sys; socket.socket(socket.AF_INET6).bind(("::1", int(sys.argv[1])))' "$port"
expect "the run's programs open the display" env DISPLAY="$display" XAUTHORITY="$work/xauthority" xdpyinfo
expect "nobody cannot open the display" not nobody env -u XAUTHORITY DISPLAY="$display" xdpyinfo
expect "the VNC server answers on its socket" python3 -c "$hello" "$work/vnc.sock"
expect "nobody cannot reach the VNC socket" not nobody python3 -c "$hello" "$work/vnc.sock"
expect "no command line of the run held a secret" not grep -qFf <(secrets) "$out/argv"
expect "nobody finds no secret in /proc" not nobody sh -c \
  'grep -sqaFf - /proc/[0-9]*/cmdline /proc/[0-9]*/environ' < <(secrets)

sessions=$(pgrep -d, -P "$run")  # each helper leads a session of its own
vnc=$(pgrep -s "$sessions" -x x11vnc)
kill -9 "$run"; wait "$run" 2>/dev/null
left() {  # a process of the run's sessions or of its Wine prefix (zombies aside), or its folder
  ps -o stat= -s "$sessions" | grep -qv '^Z' || [ -e "$work" ] ||
    grep -sqzxF "WINEPREFIX=$root/build/win64/run-prefix" /proc/[0-9]*/environ
}
for _ in $(seq 75); do left || break; sleep 0.2; done
expect "a kill -9 of the script leaves no process of its run and no private folder" not left
expect "nor shared memory of its VNC server" not sh -c "ipcs -m -p | awk '\$3 == $vnc' | grep -q ."
exit $status
