# Sourced by the scripts that run FINALE.EXE under Wine. `wine_env_start`
# gives them a private Wine prefix inside build/, a quiet Wine and a private
# virtual X display of 1024x768, and stops both when the sourcing shell
# exits. When ZORV_WINE_SESSION names a file written by
# tests/windows/wine-session (one display and wineserver for a whole test
# run), the display and server found there are reused and left running.
#
# Variables: ZORV_WINEPREFIX (default build/wine), ZORV_WINE_TIMEOUT (seconds
# for one Wine run, default 120).

WINE_ENV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${ZORV_WINEPREFIX:-$WINE_ENV_ROOT/build/wine}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
WINE_TIMEOUT="${ZORV_WINE_TIMEOUT:-120}"
WINE_ENV_XVFB_PID=""
WINE_ENV_OWNS_SERVER=0

# Starts Xvfb on a display number it picks itself (-displayfd) and exports
# DISPLAY; fails when no display came up within ten seconds.
wine_env_start_display() {
    local fifo number
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
        3>"$fifo" </dev/null >/dev/null 2>&1 &
    WINE_ENV_XVFB_PID=$!
    number=$(timeout 10 head -n1 "$fifo" || true)
    rm -f "$fifo"
    if [ -z "$number" ]; then
        echo "wine-env: Xvfb did not start" >&2
        return 1
    fi
    export DISPLAY=":$number"
}

# The prefix is made once; captions drawn by Wine itself so screenshots show
# the dialog's title bar.
wine_env_prepare_prefix() {
    mkdir -p "$(dirname "$WINEPREFIX")"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        timeout "$WINE_TIMEOUT" wineboot -i >/dev/null 2>&1 || true
    fi
    if ! grep -q '"Decorated"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
        timeout "$WINE_TIMEOUT" wine reg add 'HKCU\Software\Wine\X11 Driver' \
            /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1 || true
    fi
    # Setting up a fresh prefix leaves its own short-lived server running;
    # wait for it so the persistent one can start.
    timeout 60 wineserver -w >/dev/null 2>&1 || true
}

# Starts a wineserver that stays up between runs; an already running one
# for the prefix serves as well.
wine_env_keep_server() {
    wineserver -p </dev/null >/dev/null 2>&1 || true
}

wine_env_stop() {
    if [ "$WINE_ENV_OWNS_SERVER" = 1 ]; then
        timeout 30 wineserver -k >/dev/null 2>&1 || true
        timeout 30 wineserver -w >/dev/null 2>&1 || true
    fi
    if [ -n "$WINE_ENV_XVFB_PID" ]; then
        kill "$WINE_ENV_XVFB_PID" 2>/dev/null || true
        wait "$WINE_ENV_XVFB_PID" 2>/dev/null || true
        WINE_ENV_XVFB_PID=""
    fi
}

wine_env_start() {
    if [ -n "${ZORV_WINE_SESSION:-}" ] && [ -f "$ZORV_WINE_SESSION" ]; then
        # shellcheck disable=SC1090
        source "$ZORV_WINE_SESSION"
        if [ -n "${DISPLAY:-}" ] && kill -0 "${SESSION_XVFB_PID:-0}" 2>/dev/null; then
            export DISPLAY
            return 0
        fi
    fi
    trap wine_env_stop EXIT
    # A time-out's TERM would otherwise end the shell without its EXIT trap
    # and leave the display running.
    trap 'exit 143' TERM
    trap 'exit 130' INT
    wine_env_start_display || return 1
    WINE_ENV_OWNS_SERVER=1
    wine_env_prepare_prefix
    # Kept alive between the runs of this script: a fresh server costs
    # seconds per run for Wine's own services.
    wine_env_keep_server
}

# Runs a Windows program under Wine with the time limit; status passed
# through (124 on a time-out).
wine_run() {
    timeout -k 5 "$WINE_TIMEOUT" wine "$@"
}
