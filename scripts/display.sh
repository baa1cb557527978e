# Sourced: ensure_display starts an Xvfb display when DISPLAY is unset and stops
# it when the calling shell exits.
ensure_display() {
    if [ -n "${DISPLAY:-}" ]; then
        return
    fi
    local n
    for n in $(seq 90 140); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
    done
    Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
    SYNAPTOR_XVFB_PID=$!
    trap 'kill $SYNAPTOR_XVFB_PID 2>/dev/null || true' EXIT
    export DISPLAY=":$n"
    for _ in $(seq 50); do
        [ -e "/tmp/.X11-unix/X$n" ] && break
        sleep 0.1
    done
    echo "display: started Xvfb on $DISPLAY"
}
