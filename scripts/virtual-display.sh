# Sourced by the scripts that run Wine's windows: start_virtual_display starts Xvfb on a free
# display number, exports DISPLAY and keeps the server's process id in VIRTUAL_DISPLAY_PID;
# stop_virtual_display ends it.
start_virtual_display() {
    local display=90
    while [[ -e /tmp/.X$display-lock || -e /tmp/.X11-unix/X$display ]]; do
        display=$((display + 1))
    done
    Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    VIRTUAL_DISPLAY_PID=$!
    export DISPLAY=":$display"
    for _ in $(seq 50); do
        [[ -e /tmp/.X11-unix/X$display ]] && break
        sleep 0.1
    done
}

stop_virtual_display() {
    if [[ -n ${VIRTUAL_DISPLAY_PID:-} ]]; then
        kill "$VIRTUAL_DISPLAY_PID" 2>/dev/null
        wait "$VIRTUAL_DISPLAY_PID" 2>/dev/null
        VIRTUAL_DISPLAY_PID=
    fi
    return 0
}
