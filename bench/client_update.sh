#!/usr/bin/env bash
# A whole client update over loopback: 5,000 files of 20,000 bytes (100 MB) from the test
# imaging server into an empty folder, by SkiffApp64.exe under Wine (from its start to the
# workstation's start) and, in the same run, by one curl with keep-alive fetching the same
# files. Needs the win64 build (cmake --preset win64 && cmake --build --preset win64).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
exe=$root/build/win64/loader/app/SkiffApp64.exe
workstation=$root/build/win64/tools/HalcyonWorkstation.exe
[[ -f $exe && -f $workstation ]] || { echo "client_update: build the win64 preset first"; exit 1; }
files=${CLIENT_FILES:-5000} size=${CLIENT_FILE_SIZE:-20000}

work=$(mktemp -d /tmp/client_update.XXXXXX)
xvfb_pid=
trap '[[ -n $xvfb_pid ]] && kill "$xvfb_pid"; rm -rf "$work"' EXIT
client=$work/served/HalWebClient64
mkdir -p "$client"
head -c $((files * size)) /dev/urandom | split -a 4 -d -b "$size" - "$client/file"
cp "$workstation" "$client/"

export WINEPREFIX=${WINEPREFIX:-$root/build/win64/wineprefix} WINEDEBUG=-all
export WINEDLLOVERRIDES=mscoree,mshtml= http_proxy= https_proxy= TZ=UTC
[[ -f $WINEPREFIX/system.reg ]] || wineboot -i >/dev/null 2>&1
if [[ -z ${DISPLAY:-} ]]; then
    display=90
    while [[ -e /tmp/.X$display-lock || -e /tmp/.X11-unix/X$display ]]; do display=$((display + 1)); done
    Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$display"
    sleep 1
fi
wine cmd /c exit </dev/null >/dev/null 2>&1 # Wine's background programs, started beforehand

echo "client update: $files files of $size bytes over 127.0.0.1"
/usr/bin/python3 tools/imaging_server.py --root "$work/served" --server-version 7.2.1 --quiet \
    --exec-timeout 1200 --exec bash -c '
work=$0 exe=$1 port=$HALCYON_HTTP_PORT
for run in 1 2; do
    # curl: one process, one keep-alive connection, every file.
    rm -rf "$work/curl" && mkdir -p "$work/curl"
    for name in $(ls "$work/served/HalWebClient64"); do
        printf "url = \"http://127.0.0.1:%s/HalWebClient64/%s\"\noutput = \"%s/curl/%s\"\n" \
            "$port" "$name" "$work" "$name"
    done >"$work/curl.cfg"
    start=$(date +%s.%N)
    curl -s -K "$work/curl.cfg"
    end=$(date +%s.%N)
    awk -v s="$start" -v e="$end" "BEGIN { printf \"curl, keep-alive:        %7.2f s\n\", e - s }"

    # The loader, from its start until it starts the workstation.
    rm -rf "$work/loader" && mkdir -p "$work/loader"
    cp "$exe" "$work/loader/"
    printf "127.0.0.1:%s\r\nAutoStart=Y\r\nAutoClose=Y\r\n" "$port" >"$work/loader/TillerConfig.txt"
    start=$(date +%s.%N)
    (cd "$work/loader" && exec timeout -k 5 900 wine SkiffApp64.exe </dev/null >wine.out 2>&1) &
    pid=$!
    until [[ -f $work/loader/7_64/workstation-start.txt ]] || ! kill -0 $pid 2>/dev/null; do
        sleep 0.05
    done
    end=$(date +%s.%N)
    wait $pid || true
    awk -v s="$start" -v e="$end" "BEGIN { printf \"SkiffApp64.exe (Wine):  %7.2f s\", e - s }"
    grep -o "Loading successful.*" "$work/loader/Skiff.log" | sed "s/^/  (/; s/$/)/"
    [[ $(ls "$work/loader/7_64" | grep -c ^file) == $(ls "$work/curl" | grep -c ^file) ]] ||
        echo "client update: the loader did not fetch every file"
done' "$work" "$exe"
