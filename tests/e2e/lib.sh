# Shared helpers of the end-to-end tests. Source it from a *_test.sh:
#
#     source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
#     e2e_start_xvfb                  # own X server, DISPLAY exported, stopped on exit
#     e2e_tmpdir_into work; cd "$work" # fresh working directory, removed on exit
#     e2e_start "$PLUMO_BIN"          # background process, killed on exit if still running
#     win=$(e2e_wait_window 'plumo v1.0')
#     e2e_type "$win" 'nick'; e2e_key "$win" Return
#     e2e_wait_exit "$E2E_LAST_PID" 20 && e2e_expect_eq "$E2E_STATUS" 0 "exit status"
#
# Every helper that can fail prints a line to standard error and returns
# non-zero; e2e_fail ends the test. Cleanup runs from an EXIT trap: call
# e2e_on_exit to add own cleanup commands instead of setting another trap.
#
# Environment given by CTest: PLUMO_BIN, PLUMO_BINARY_DIR, PLUMO_SOURCE_DIR.

set -u

E2E_NAME=$(basename "${BASH_SOURCE[1]:-e2e}" .sh)
E2E_XVFB_PID=""
E2E_PIDS=()
E2E_TMPDIRS=()
E2E_EXIT_HOOKS=()
E2E_LAST_PID=""
E2E_PYTHON=$(command -v python3 || true)
[ -x /usr/bin/python3 ] && E2E_PYTHON=/usr/bin/python3

# --- Reporting ----------------------------------------------------------------

e2e_log() {
    echo "[$E2E_NAME] $*" >&2
}

# Ends the test with a failure message (exit status 1; the EXIT trap cleans up).
e2e_fail() {
    echo "[$E2E_NAME] FAIL: $*" >&2
    exit 1
}

# e2e_expect_eq ACTUAL EXPECTED WHAT
e2e_expect_eq() {
    if [ "$1" != "$2" ]; then
        e2e_fail "$3: expected '$2', got '$1'"
    fi
}

# --- Cleanup --------------------------------------------------------------------

# Adds a command (one string, run with eval) to the cleanup at exit.
e2e_on_exit() {
    E2E_EXIT_HOOKS+=("$1")
}

e2e_cleanup() {
    local status=$?
    local hook pid dir
    for hook in "${E2E_EXIT_HOOKS[@]+"${E2E_EXIT_HOOKS[@]}"}"; do
        eval "$hook" || true
    done
    for pid in "${E2E_PIDS[@]+"${E2E_PIDS[@]}"}"; do
        if kill -0 "$pid" 2>/dev/null; then
            kill "$pid" 2>/dev/null || true
            sleep 0.2
            kill -9 "$pid" 2>/dev/null || true
        fi
    done
    if [ -n "$E2E_XVFB_PID" ] && kill -0 "$E2E_XVFB_PID" 2>/dev/null; then
        kill "$E2E_XVFB_PID" 2>/dev/null || true
        wait "$E2E_XVFB_PID" 2>/dev/null || true
    fi
    for dir in "${E2E_TMPDIRS[@]+"${E2E_TMPDIRS[@]}"}"; do
        rm -rf "$dir"
    done
    exit "$status"
}
trap e2e_cleanup EXIT
trap 'exit 130' INT TERM

# e2e_tmpdir_into VAR: makes a fresh temporary directory, removed at exit, and
# stores its path in VAR. (Not usable inside $(...): the subshell would forget
# to remove it.)
e2e_tmpdir_into() {
    local dir
    dir=$(mktemp -d "${TMPDIR:-/tmp}/plumo-e2e.XXXXXX") || e2e_fail "mktemp failed"
    E2E_TMPDIRS+=("$dir")
    printf -v "$1" '%s' "$dir"
}

# --- X server ---------------------------------------------------------------------

# Starts Xvfb on a free display (chosen by the server itself through
# -displayfd) and exports DISPLAY. Stopped at exit.
e2e_start_xvfb() {
    local geometry=${1:-1024x768x24}
    local fdfile
    command -v Xvfb >/dev/null || e2e_fail "Xvfb is not installed"
    e2e_tmpdir_into fdfile
    fdfile="$fdfile/display"
    Xvfb -displayfd 5 -screen 0 "$geometry" -nolisten tcp 5>"$fdfile" 2>/dev/null &
    E2E_XVFB_PID=$!
    local tries=0
    while [ ! -s "$fdfile" ]; do
        kill -0 "$E2E_XVFB_PID" 2>/dev/null || e2e_fail "Xvfb ended at start"
        tries=$((tries + 1))
        [ "$tries" -gt 200 ] && e2e_fail "Xvfb did not report a display within 10 s"
        sleep 0.05
    done
    # The number is written with a newline once the server accepts clients.
    local number
    number=$(tr -dc '0-9' <"$fdfile")
    export DISPLAY=":$number"
    # Nothing of the desktop session leaks into the test.
    unset WAYLAND_DISPLAY XAUTHORITY
    export SDL_VIDEODRIVER=x11
    export SDL_AUDIODRIVER=dummy
    e2e_log "Xvfb on $DISPLAY"
}

# --- Processes ----------------------------------------------------------------------

# Starts a command in the background with its output appended to
# $E2E_LOG (default: standard error). Its pid is in E2E_LAST_PID; it is
# killed at exit if it still runs. Call without $(...), so the pid reaches
# the test's shell.
e2e_start() {
    if [ -n "${E2E_LOG:-}" ]; then
        "$@" >>"$E2E_LOG" 2>&1 &
    else
        "$@" &
    fi
    E2E_LAST_PID=$!
    E2E_PIDS+=("$E2E_LAST_PID")
}

# e2e_wait_exit PID TIMEOUT_SECONDS: waits until the process ends and stores
# its exit status (0..255) in E2E_STATUS. Returns 1 on timeout. Call it
# without $(...): only the shell that started the process can read its status.
E2E_STATUS=""
e2e_wait_exit() {
    local pid=$1 limit=$2
    local deadline=$((SECONDS + limit))
    E2E_STATUS=""
    while kill -0 "$pid" 2>/dev/null; do
        if [ "$SECONDS" -ge "$deadline" ]; then
            e2e_log "process $pid still runs after $limit s"
            return 1
        fi
        sleep 0.05
    done
    local status=0
    wait "$pid" 2>/dev/null || status=$?
    E2E_STATUS=$status
}

# e2e_running PID: true while the process runs.
e2e_running() {
    kill -0 "$1" 2>/dev/null
}

# --- Windows ----------------------------------------------------------------------

# e2e_wait_window NAME [TIMEOUT_SECONDS]: waits until a visible window whose
# title is exactly NAME exists and prints its id (the newest when several
# match). Returns 1 on timeout.
e2e_wait_window() {
    local name=$1 limit=${2:-20}
    local pattern="^${name//./\\.}\$"
    local ids
    ids=$(timeout "$limit" xdotool search --sync --onlyvisible --name "$pattern" 2>/dev/null) || {
        e2e_log "no window named '$name' within $limit s"
        return 1
    }
    echo "$ids" | tail -n 1
}

# e2e_wait_window_change NAME OLD_ID [TIMEOUT]: waits for a window named NAME
# other than OLD_ID (the next dialog after one closed) and prints its id.
e2e_wait_window_change() {
    local name=$1 old=$2 limit=${3:-20}
    local pattern="^${name//./\\.}\$"
    local deadline=$((SECONDS + limit)) ids id
    while [ "$SECONDS" -lt "$deadline" ]; do
        ids=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null || true)
        for id in $ids; do
            if [ "$id" != "$old" ]; then
                echo "$id"
                return 0
            fi
        done
        sleep 0.05
    done
    e2e_log "no new window named '$name' within $limit s"
    return 1
}

# e2e_wait_window_gone ID [TIMEOUT]: waits until the window is unmapped or destroyed.
e2e_wait_window_gone() {
    local id=$1 limit=${2:-20}
    local deadline=$((SECONDS + limit))
    while xwininfo -id "$id" 2>/dev/null | grep -q 'IsViewable'; do
        if [ "$SECONDS" -ge "$deadline" ]; then
            e2e_log "window $id still shown after $limit s"
            return 1
        fi
        sleep 0.05
    done
}

# Gives the window the keyboard focus (no window manager runs: set it directly).
e2e_focus() {
    xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
    sleep 0.1
}

# e2e_type ID TEXT: focuses the window and types the text through XTEST, the
# way a keyboard would (characters missing from the keymap are mapped on the fly).
e2e_type() {
    e2e_focus "$1"
    xdotool type --delay 40 -- "$2"
    sleep 0.2
}

# e2e_key ID KEY...: focuses the window and presses keys by X keysym name
# (Return, Tab, BackSpace, Escape, space, ctrl+a ...).
e2e_key() {
    local id=$1
    shift
    e2e_focus "$id"
    xdotool key --delay 40 "$@"
    sleep 0.2
}

# e2e_click ID X Y: left click at client coordinates of the window.
e2e_click() {
    xdotool mousemove --window "$1" "$2" "$3" click 1
    sleep 0.2
}

# e2e_close_window ID: asks the window to close the way a window manager's
# close box does: a WM_PROTOCOLS ClientMessage carrying WM_DELETE_WINDOW.
# (Destroying the X window instead, as some tools do, is a different thing.)
e2e_close_window() {
    [ -n "$E2E_PYTHON" ] || e2e_fail "python3 is needed to send WM_DELETE_WINDOW"
    "$E2E_PYTHON" - "$1" <<'EOF'
import ctypes, sys

window = int(sys.argv[1], 0)
x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
x11.XFlush.argtypes = [ctypes.c_void_p]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]

class Event(ctypes.Union):
    _fields_ = [("client", ClientMessage), ("pad", ctypes.c_long * 24)]

display = x11.XOpenDisplay(None)
if not display:
    sys.exit("cannot open the display")
event = Event()
event.client.type = 33  # ClientMessage
event.client.window = window
event.client.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
event.client.format = 32
event.client.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
event.client.data[1] = 0  # CurrentTime
if not x11.XSendEvent(display, window, 0, 0, ctypes.byref(event)):
    sys.exit("XSendEvent failed")
x11.XFlush(display)
x11.XCloseDisplay(display)
EOF
}

# e2e_screenshot FILE [ID]: saves a PNG of the window (default: the whole
# screen). The folder is created when missing.
e2e_screenshot() {
    local file=$1 id=${2:-root}
    mkdir -p "$(dirname "$file")"
    import -window "$id" "$file" 2>/dev/null || {
        e2e_log "screenshot of $id failed"
        return 1
    }
}

# --- Files --------------------------------------------------------------------------

# Prints a file's bytes as lower-case hex pairs separated by spaces.
e2e_hex() {
    od -An -v -tx1 "$1" | tr -s ' \n' ' ' | sed 's/^ //; s/ $//'
}

# Prints the hex pairs of a text's bytes, as e2e_hex does for files.
e2e_text_hex() {
    printf '%s' "$1" | od -An -v -tx1 | tr -s ' \n' ' ' | sed 's/^ //; s/ $//'
}

# Prints the bytes of a 32-bit little-endian integer as e2e_hex does.
e2e_le32_hex() {
    printf '%02x %02x %02x %02x' $(($1 & 255)) $((($1 >> 8) & 255)) $((($1 >> 16) & 255)) $((($1 >> 24) & 255))
}
