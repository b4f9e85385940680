#!/usr/bin/env bash
# Runs SkiffApp64.exe the way a user does, in scratch folders with prepared TillerConfig.txt
# files, on the display in DISPLAY: checks what it writes back and logs, and takes a
# screenshot of its window.
# Usage: loader_window_run.sh <wine> <SkiffApp64.exe> <screenshot.png>
set -uo pipefail
wine=$1 exe=$2 screenshot=$3

if [[ -z ${DISPLAY:-} ]]; then
    echo "loader_window_run: no display (DISPLAY is empty)"
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
desktop="SkiffTest$$,800x600"
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

# The loader runs in a desktop window of Wine's own, which draws the caption as Windows does
# even without a window manager.
start_loader() {
    cp "$exe" "$1/SkiffApp64.exe"
    (cd "$1" && exec "$wine" explorer /desktop="$desktop" SkiffApp64.exe </dev/null >wine.out 2>&1) &
    loader_pid=$!
}

# The close box: the window saves its settings and ends.
close_loader() {
    "$wine" explorer /desktop="$desktop" taskkill /im SkiffApp64.exe </dev/null >/dev/null 2>&1
    for _ in $(seq 100); do
        kill -0 "$loader_pid" 2>/dev/null || { wait "$loader_pid"; return 0; }
        sleep 0.2
    done
    fail "the loader did not end after its window was closed"
    "$wine" explorer /desktop="$desktop" taskkill /f /im SkiffApp64.exe </dev/null >/dev/null 2>&1
    kill "$loader_pid" 2>/dev/null
    wait "$loader_pid" 2>/dev/null
    return 1
}

source "$(dirname "$0")/wait_until.sh"

file_is() { [[ "$(cat "$1" 2>/dev/null)" == "$2" ]]; }
log_has() { grep -qF -- "$2" "$1/Skiff.log" 2>/dev/null; }

# 1. Several servers and a proxy with a scrambled password ("secret"); the auto-start timer
#    starts a session, which writes the file back: the selected server first, the other
#    spelling of the same server dropped, the protocol written only when it is https.
dir=$work/servers
mkdir -p "$dir"
printf 'A (srv1)\r\nMain (HTTP://srv:8080)\nsrv1\r\n@@@proxy.local:3128;joe;BE5BE0650149FDDE\r\nAutoStart=Y\r\n' >"$dir/TillerConfig.txt"
expected=$'A (srv1)\r\nMain (srv:8080)\r\n@@@proxy.local:3128;joe;BE5BE0650149FDDE\r\nAutoStart=Y\r'
start_loader "$dir"
wait_until 30 file_is "$dir/TillerConfig.txt" "$expected" ||
    fail "the session start did not write TillerConfig.txt as expected: $(cat -A "$dir/TillerConfig.txt")"
sleep 1
import -window root -crop 800x600+0+0 +repage "$screenshot" || fail "no screenshot"
colours=$(convert "$screenshot" -format %k info: 2>/dev/null || echo 0)
((colours > 8)) || fail "the screenshot shows no window ($colours colours)"
close_loader
file_is "$dir/TillerConfig.txt" "$expected" || fail "closing changed TillerConfig.txt"
for line in "  =====================================================" "  version 4.0" \
    "  AnalyzeLine A http:// srv1 -1 " "  AnalyzeLine Main http:// srv 8080 "; do
    log_has "$dir" "$line" || fail "Skiff.log lacks \"$line\""
done
[[ -e $dir/TillerConfig.txt.new ]] && fail "a temporary file was left behind"

# 2. Only "AutoStart=Y": a session starts with an empty server and writes nothing.
dir=$work/autostart
mkdir -p "$dir"
printf 'AutoStart=Y\r\n' >"$dir/TillerConfig.txt"
start_loader "$dir"
wait_until 30 log_has "$dir" "  AnalyzeLine    -1 " || fail "auto start did not start a session"
close_loader
file_is "$dir/TillerConfig.txt" $'AutoStart=Y\r' || fail "an empty server line was written"

# 3. Bad input: binary and NUL bytes, a line of 100,000 characters, more than 12000 bytes,
#    a proxy password that is not hexadecimal. The window opens with what could be read.
dir=$work/bad
mkdir -p "$dir"
{
    printf 'bin\001\002\000ary\n'
    head -c 100000 /dev/zero | tr '\0' 'h'
    printf '\n@@@px;u;NOT-HEX\r\nAutoStart=Y\r\n'
} >"$dir/TillerConfig.txt"
start_loader "$dir"
wait_until 30 log_has "$dir" "  version 4.0" || fail "the loader did not open on a bad file"
sleep 1
close_loader
head -c 7 "$dir/TillerConfig.txt" | cmp -s - <(printf 'bin\001\002ar') ||
    fail "the first server line was not kept: $(head -c 40 "$dir/TillerConfig.txt" | cat -A)"
grep -q 'wine: Unhandled' "$dir/wine.out" && fail "the loader crashed"

((status == 0)) && echo "loader window run passed; screenshot: $screenshot"
exit $status
