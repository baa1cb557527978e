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
    # Xvfb takes the number itself: the first one for which it can make the lock
    # file and every listening socket. Judged from /tmp alone, a number may look
    # free and yet be held: X servers also listen on an abstract socket name, which
    # a chroot shares with the machine around it. A server started on a held number
    # gives up, and the check below would then talk to the other one. No reset
    # when the last client leaves: a client that connects during one can be
    # turned away, and between two tests the display often has no client.
    SYNAPTOR_XVFB_LOG=$(mktemp)
    local number_file n=
    number_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$number_file" >"$SYNAPTOR_XVFB_LOG" 2>&1 &
    SYNAPTOR_XVFB_PID=$!
    trap stop_display EXIT
    # Up means it told its number and answers a client there, not that a socket exists.
    local _
    for _ in $(seq 100); do
        kill -0 "$SYNAPTOR_XVFB_PID" 2>/dev/null || break
        [ -n "$n" ] || n=$(sed -n 's/^\([0-9][0-9]*\)$/\1/p' "$number_file")
        if [ -n "$n" ] && xdpyinfo -display ":$n" >/dev/null 2>&1 && kill -0 "$SYNAPTOR_XVFB_PID" 2>/dev/null; then
            rm -f "$number_file"
            export DISPLAY=":$n"
            echo "display: started Xvfb on $DISPLAY"
            return 0
        fi
        sleep 0.1
    done
    rm -f "$number_file"
    echo "display: Xvfb${n:+ on :$n} did not come up; it printed:" >&2
    sed 's/^/  /' "$SYNAPTOR_XVFB_LOG" >&2
    stop_display
    return 1
}
