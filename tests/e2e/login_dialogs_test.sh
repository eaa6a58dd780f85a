#!/usr/bin/env bash
# The real plumo's login dialogs under Xvfb:
#   1. a fresh start: a nick with a non-ASCII letter and an address typed in
#      the two dialogs; plumo.conf holds their exact bytes; nobody listens on
#      the address, so plumo ends with status 0 without starting anything;
#   2. a second start preloads both fields: one typed character replaces the
#      whole preloaded nick, Enter keeps the preloaded address;
#   3. a third start: Escape leaves the nick dialog open, its close box ends
#      plumo with status -1 (255) and leaves plumo.conf as it was;
#   4. OK on an emptied nick field ends plumo the same way.
# Screenshots of the dialogs go to $PLUMO_BINARY_DIR/screenshots/.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

: "${PLUMO_BIN:?}" "${PLUMO_BINARY_DIR:?}"
screenshots="$PLUMO_BINARY_DIR/screenshots"
title='plumo v1.0'

# The typed address must find nobody, or the client would go on to play.
if (exec 3<>/dev/tcp/127.0.0.1/19503) 2>/dev/null; then
    e2e_fail "something listens on 127.0.0.1:19503; this test needs the port free"
fi

e2e_start_xvfb
e2e_tmpdir_into work
cd "$work" || e2e_fail "no working directory"

settings_hex() {
    [ -e plumo.conf ] || { echo "<no file>"; return; }
    e2e_hex plumo.conf
}

start_plumo() {
    E2E_LOG="$work/plumo.log" e2e_start "$PLUMO_BIN"
    plumo_pid=$E2E_LAST_PID
}

expect_exit() {
    e2e_wait_exit "$plumo_pid" 20 || e2e_fail "plumo still runs ($1)"
    if [ "$E2E_STATUS" != "$2" ]; then
        tail -n 40 "$work/plumo.log" >&2
        e2e_fail "exit status ($1): expected '$2', got '$E2E_STATUS'"
    fi
}

# --- 1. Fresh start --------------------------------------------------------------
start_plumo
nick_dialog=$(e2e_wait_window "$title") || e2e_fail "no nick dialog"
[ -e plumo.conf ] && e2e_fail "plumo.conf exists before any dialog ended"
e2e_type "$nick_dialog" 'Zäh1'
sleep 0.3
e2e_screenshot "$screenshots/nick_dialog.png" "$nick_dialog" || e2e_fail "no screenshot of the nick dialog"
e2e_key "$nick_dialog" Return

address_dialog=$(e2e_wait_window_change "$title" "$nick_dialog") || e2e_fail "no address dialog"
e2e_type "$address_dialog" '127.0.0.1'
sleep 0.3
e2e_screenshot "$screenshots/address_dialog.png" "$address_dialog" || e2e_fail "no screenshot of the address dialog"
e2e_key "$address_dialog" Return
expect_exit "address given, nobody listens" 0

# N = 4, "Zäh1" with ä as the Windows-1252 byte E4, A = 9, "127.0.0.1".
expected="$(e2e_le32_hex 4) 5a e4 68 31 $(e2e_le32_hex 9) $(e2e_text_hex '127.0.0.1')"
e2e_expect_eq "$(settings_hex)" "$expected" "plumo.conf after the first start"
if grep -q 'Versuche' "$work/plumo.log"; then
    e2e_fail "a local server was started for an address the user gave"
fi

# --- 2. Preloaded fields -------------------------------------------------------------
start_plumo
nick_dialog=$(e2e_wait_window "$title") || e2e_fail "no nick dialog at the second start"
sleep 0.3
e2e_screenshot "$screenshots/nick_dialog_preloaded.png" "$nick_dialog" || e2e_fail "no screenshot of the preload"
e2e_type "$nick_dialog" 'Q'
e2e_key "$nick_dialog" Return
address_dialog=$(e2e_wait_window_change "$title" "$nick_dialog") || e2e_fail "no address dialog at the second start"
e2e_key "$address_dialog" Return
expect_exit "preloaded address kept" 0

# The typed Q replaced the whole preloaded nick; the address came from the file.
expected="$(e2e_le32_hex 1) 51 $(e2e_le32_hex 9) $(e2e_text_hex '127.0.0.1')"
e2e_expect_eq "$(settings_hex)" "$expected" "plumo.conf after the second start"

# --- 3. Escape, then the close box ------------------------------------------------------
before=$(settings_hex)
start_plumo
nick_dialog=$(e2e_wait_window "$title") || e2e_fail "no nick dialog at the third start"
e2e_key "$nick_dialog" Escape
sleep 0.5
e2e_running "$plumo_pid" || e2e_fail "Escape ended plumo"
xwininfo -id "$nick_dialog" 2>/dev/null | grep -q IsViewable || e2e_fail "Escape closed the nick dialog"
e2e_close_window "$nick_dialog" || e2e_fail "could not send WM_DELETE_WINDOW"
expect_exit "nick dialog closed" 255
e2e_expect_eq "$(settings_hex)" "$before" "plumo.conf after the closed nick dialog"

# --- 4. OK without a nick ------------------------------------------------------------------
start_plumo
nick_dialog=$(e2e_wait_window "$title") || e2e_fail "no nick dialog at the fourth start"
e2e_key "$nick_dialog" BackSpace Return  # the preloaded nick is selected: BackSpace empties the field
expect_exit "empty nick" 255
e2e_expect_eq "$(settings_hex)" "$before" "plumo.conf after an empty nick"

e2e_log "ok"
