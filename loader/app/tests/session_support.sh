# Shared by the scripts that run whole update sessions under Wine: scratch folders, the test
# imaging web server, Skiff.log checks, and a loader run that ends by itself or is closed like
# a user closes it. The caller sets wine, exe, server_py (and press, for pressing buttons).

work=$(mktemp -d)
server_pid=
stop_server() {
    if [[ -n $server_pid ]]; then
        kill "$server_pid" 2>/dev/null
        wait "$server_pid" 2>/dev/null
    fi
    server_pid=
}
trap 'stop_server; [[ -n ${KEEP_WORK:-} ]] || rm -rf "$work"' EXIT
export http_proxy= https_proxy= HTTP_PROXY= HTTPS_PROXY=
# The server states local times; the loader must read them in the same zone.
export TZ=UTC
status=0
scenario=
fail() {
    echo "FAIL [$scenario]: $*"
    status=1
}

# start_server <served folder> [server switches...]: sets port, and server_out (its report).
start_server() {
    stop_server
    server_out=$work/server-$RANDOM.out
    local out=$server_out
    /usr/bin/python3 "$server_py" --root "$1" "${@:2}" --lifetime 300 </dev/null >"$out" 2>&1 &
    server_pid=$!
    port=
    for _ in $(seq 100); do
        port=$(sed -n 's|.* on http://127\.0\.0\.1:\([0-9]*\)/.*|\1|p' "$out")
        [[ -n $port ]] && return 0
        sleep 0.1
    done
    fail "the test server did not start: $(cat "$out")"
    return 1
}

source "$(dirname "$0")/wait_until.sh"

log_has() { grep -qF -- "  $2" "$1/Skiff.log" 2>/dev/null; }
log_count() { grep -cF -- "  $2" "$1/Skiff.log" 2>/dev/null; }
expect_log() {
    local line
    for line in "${@:2}"; do
        log_has "$1" "$line" || fail "Skiff.log lacks \"$line\""
    done
}
expect_no_log() {
    local line
    for line in "${@:2}"; do
        log_has "$1" "$line" && fail "Skiff.log has \"$line\""
    done
}
starts() { grep -c '^command=' "$1/7_64/workstation-start.txt" 2>/dev/null || echo 0; }

# A folder for the loader with the given TillerConfig.txt lines.
set_config() { printf '%s\r\n' "$@" >"$dir/TillerConfig.txt"; }
new_loader_folder() {
    dir=$work/$1
    mkdir -p "$dir"
    set_config "${@:2}"
    cp "$exe" "$dir/SkiffApp64.exe"
}

# run_loader [line]: runs the loader in $dir until it ends by itself (auto close, or the
# updater's close). With a line, the window is closed once Skiff.log shows it, as a user
# closes it after a failed session. With press=<id> set, that button is clicked first.
loader_pid=
run_loader() {
    local until=${1:-}
    (cd "$dir" && exec timeout -k 5 150 "$wine" SkiffApp64.exe </dev/null >>wine.out 2>&1) &
    loader_pid=$!
    if [[ -n ${press_id:-} ]]; then
        "$wine" "$press" "$press_id" 60 </dev/null >/dev/null 2>&1 || fail "no button $press_id to press"
    fi
    if [[ -n $until ]]; then
        wait_until 60 log_has "$dir" "$until" || fail "Skiff.log did not show \"$until\""
        sleep 1
        (cd "$dir" && "$wine" taskkill /im SkiffApp64.exe </dev/null >/dev/null 2>&1)
    fi
    wait_until 60 eval '! kill -0 "$loader_pid" 2>/dev/null' || {
        fail "the loader did not end; the end of its log:"
        tail -8 "$dir/Skiff.log" 2>/dev/null | sed 's/^/    /'
        (cd "$dir" && "$wine" taskkill /f /im SkiffApp64.exe </dev/null >/dev/null 2>&1)
    }
    wait "$loader_pid" 2>/dev/null
    grep -q 'wine: Unhandled' "$dir/wine.out" && fail "the loader crashed"
}

