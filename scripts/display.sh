# Sourced: ensure_display starts an Xvfb display when DISPLAY is unset and
# stops it when the calling shell exits (stop_display, for scripts that set an
# EXIT trap of their own). A display counts only once it answers a client; one
# that does not (started here or named in DISPLAY) is an error: ensure_display
# says why and returns 1.
stop_display() {
    if [ -n "${SYNAPTOR_XVFB_PID:-}" ]; then
        kill "$SYNAPTOR_XVFB_PID" 2>/dev/null || true
        wait "$SYNAPTOR_XVFB_PID" 2>/dev/null || true
        SYNAPTOR_XVFB_PID=
    fi
    [ -z "${SYNAPTOR_XVFB_LOG:-}" ] || rm -f "$SYNAPTOR_XVFB_LOG"
}

ensure_display() {
    if [ -n "${DISPLAY:-}" ]; then
        if command -v xdpyinfo >/dev/null && ! xdpyinfo >/dev/null 2>&1; then
            echo "display: DISPLAY=$DISPLAY does not answer" >&2
            return 1
        fi
        return 0
    fi
    if ! command -v Xvfb >/dev/null || ! command -v xdpyinfo >/dev/null; then
        echo "display: DISPLAY is unset and Xvfb or xdpyinfo is missing (run scripts/setup.sh)" >&2
        return 1
    fi
    local n
    for n in $(seq 90 140); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
    done
    SYNAPTOR_XVFB_LOG=$(mktemp)
    Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >"$SYNAPTOR_XVFB_LOG" 2>&1 &
    SYNAPTOR_XVFB_PID=$!
    trap stop_display EXIT
    # Up means it answers a client, not that its socket exists.
    local _
    for _ in $(seq 100); do
        if xdpyinfo -display ":$n" >/dev/null 2>&1; then
            export DISPLAY=":$n"
            echo "display: started Xvfb on $DISPLAY"
            return 0
        fi
        kill -0 "$SYNAPTOR_XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    echo "display: Xvfb on :$n did not come up; it printed:" >&2
    sed 's/^/  /' "$SYNAPTOR_XVFB_LOG" >&2
    stop_display
    return 1
}
