#!/usr/bin/env bash
# The real plumo under Xvfb, nick typed and address left empty (so the client
# uses 127.0.0.1):
#   1. a stand-in server on port 19503 answers the first connect and sees the
#      exact handshake; the main window shows; the server sends two frames and
#      closes the connection; plumo logs them and exits with status 0.
#   2. nobody listens: plumo starts the real kobalserv beside it with -once,
#      connects on the second attempt, shows its window; closing the window
#      ends plumo with 0, and the server, its last player gone, ends too.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

: "${PLUMO_BIN:?}" "${PLUMO_BINARY_DIR:?}" "${PLUMO_SOURCE_DIR:?}"
listener="$PLUMO_SOURCE_DIR/tests/e2e/listener.py"
[ -n "$E2E_PYTHON" ] || e2e_fail "python3 is needed for the listener"

e2e_start_xvfb
e2e_tmpdir_into work
cd "$work" || e2e_fail "no working directory"

# Nick "Ada": 00 00 00 05 | 00 01 'A' 'd' 'a'; Version: 00 00 00 05 | 00 11 01 00 02.
expected="00 00 00 05 00 01 41 64 61 00 00 00 05 00 11 01 00 02"
# Sent before the close: two frames with opcodes the client does not know.
export LISTENER_SEND="000000020018000000030fff07"
E2E_LOG="$work/listener.log" e2e_start "$E2E_PYTHON" "$listener" 19503 18 "$work/received" "$work/close" 60
listener_pid=$E2E_LAST_PID
for _ in $(seq 100); do
    [ -e "$work/received.listening" ] && break
    e2e_running "$listener_pid" || e2e_fail "listener ended at start: $(cat "$work/listener.log")"
    sleep 0.05
done
[ -e "$work/received.listening" ] || e2e_fail "listener did not start"

# start_with_nick NICK LOG: starts plumo, types the nick, leaves the address
# empty (the default, 127.0.0.1) and waits for the main window; sets
# plumo_pid and main_window.
start_with_nick() {
    E2E_LOG="$2" e2e_start "$PLUMO_BIN"
    plumo_pid=$E2E_LAST_PID
    local nick_dialog address_dialog
    nick_dialog=$(e2e_wait_window 'plumo v1.0') || e2e_fail "no nick dialog"
    e2e_type "$nick_dialog" "$1"
    e2e_key "$nick_dialog" Return
    address_dialog=$(e2e_wait_window_change 'plumo v1.0' "$nick_dialog") || e2e_fail "no address dialog"
    e2e_key "$address_dialog" Return
    main_window=$(e2e_wait_window_change 'plumo v1.0' "$address_dialog" 30) ||
        e2e_fail "no main window: $(cat "$2")"
}

start_with_nick 'Ada' "$work/plumo.log"

for _ in $(seq 200); do
    [ -e "$work/received" ] && break
    sleep 0.05
done
[ -e "$work/received" ] || e2e_fail "the listener received nothing; plumo: $(cat "$work/plumo.log"); listener: $(cat "$work/listener.log")"
e2e_expect_eq "$(cat "$work/received")" "$expected" "handshake bytes"

sleep 0.5  # let the first paint reach the screen
e2e_screenshot "$PLUMO_BINARY_DIR/screenshots/handshake_main_window.png" "$main_window" ||
    e2e_fail "no screenshot"

touch "$work/close"
e2e_wait_exit "$plumo_pid" 20 || e2e_fail "plumo still runs after the server closed"
e2e_expect_eq "$E2E_STATUS" 0 "exit status (plumo: $(cat "$work/plumo.log"))"
e2e_wait_exit "$listener_pid" 10 || e2e_fail "listener still runs"
e2e_expect_eq "$E2E_STATUS" 0 "listener status"

grep -q 'Unbekannte Nachricht erhalten: 24' "$work/plumo.log" &&
    grep -q 'Unbekannte Nachricht erhalten: -1' "$work/plumo.log" ||
    e2e_fail "frames before the close were not handled: $(cat "$work/plumo.log")"
if grep -q 'Versuche' "$work/plumo.log"; then
    e2e_fail "a local server was started although the first connect succeeded"
fi
# The settings file was written before the connection.
[ -s "$work/plumo.conf" ] || e2e_fail "no settings file"

# --- 2. The local server fallback with the real kobalserv ---------------------
server_bin="$(dirname "$PLUMO_BIN")/kobalserv"
if [ ! -x "$server_bin" ]; then
    e2e_log "ok (no kobalserv beside plumo: local server start not checked)"
    exit 0
fi

# Port 19503 answers while something listens on it.
port_open() {
    "$E2E_PYTHON" - <<'PY'
import socket, sys
s = socket.socket()
s.settimeout(1)
sys.exit(0 if s.connect_ex(("127.0.0.1", 19503)) == 0 else 1)
PY
}
# The started server is no child of this script: if it outlives the test, end
# it by its pid. Only a kobalserv of this build is ended, never another
# program that happens to hold the port (someone's own server, say).
server_real=$(readlink -f "$server_bin")
e2e_on_exit 'for pid in $(fuser -n tcp 19503 2>/dev/null); do
    [ "$(readlink -f "/proc/$pid/exe" 2>/dev/null)" = "$server_real" ] && kill "$pid" 2>/dev/null
done'
port_open && e2e_fail "port 19503 is still taken"

e2e_tmpdir_into work2
cd "$work2" || e2e_fail "no working directory"
start_with_nick 'Bo' "$work2/plumo.log"
port_open || e2e_fail "no server listens although plumo connected"
grep -q 'Versuche, einen kobal-Server auf localhost zu starten.' "$work2/plumo.log" ||
    e2e_fail "the local server line is missing: $(cat "$work2/plumo.log")"

e2e_close_window "$main_window"
e2e_wait_exit "$plumo_pid" 20 || e2e_fail "plumo still runs after its window was closed"
e2e_expect_eq "$E2E_STATUS" 0 "exit status after closing the window"
for _ in $(seq 100); do
    port_open || break
    sleep 0.1
done
port_open && e2e_fail "kobalserv -once still runs after its last player left"
e2e_log "ok"
