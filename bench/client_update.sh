#!/usr/bin/env bash
# Client updates over loopback by SkiffApp64.exe under Wine, each beside its anchor measured
# in the same run:
#   - new clients (2,000 files of 10 KiB; 5,000 files of 20,000 bytes): the loader's time from
#     the file-list reply to the workstation's start, against one curl with keep-alive
#     fetching the same files;
#   - the first of them through tinyproxy with Basic authentication, curl through it too;
#   - an up-to-date client of 5,000 files: the loader's start to the workstation's start,
#     against Wine starting an empty program;
#   - reading a file list of 50,000 entries against pugixml's parse plus walk.
# Needs the win64 and bench builds. CLIENT_CASES="2000:10240 5000:20000" picks the new clients.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
exe=$root/build/win64/loader/app/SkiffApp64.exe
workstation=$root/build/win64/tools/HalcyonWorkstation.exe
list_bench=$root/build/bench/bench/file_list_bench
[[ -f $exe && -f $workstation ]] || { echo "client_update: build the win64 preset first"; exit 1; }
cases=${CLIENT_CASES:-2000:10240 5000:20000}

work=$(mktemp -d /tmp/client_update.XXXXXX)
pids=()
trap 'for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done; rm -rf "$work"' EXIT

export WINEPREFIX=${WINEPREFIX:-$root/build/win64/wineprefix} WINEDEBUG=-all
export WINEDLLOVERRIDES=mscoree,mshtml= http_proxy= https_proxy= TZ=UTC
[[ -f $WINEPREFIX/system.reg ]] || wineboot -i >/dev/null 2>&1
if [[ -z ${DISPLAY:-} ]]; then
    source scripts/virtual-display.sh
    start_virtual_display
    pids+=("$VIRTUAL_DISPLAY_PID")
fi
wine cmd /c exit </dev/null >/dev/null 2>&1 # Wine's background programs, started beforehand

now() { date +%s.%N; }
seconds() { awk -v s="$1" -v e="$2" 'BEGIN { printf "%.2f", e - s }'; }
per_file() { awk -v t="$1" -v n="$2" 'BEGIN { printf "%.2f ms per file", t * 1000 / n }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1fx", a / b }'; }
free_port() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

# tinyproxy with Basic authentication; "secret" as the loader keeps it in TillerConfig.txt.
proxy_port=$(free_port)
cat >"$work/tinyproxy.conf" <<EOF
Port $proxy_port
Listen 127.0.0.1
Timeout 120
LogFile "$work/tinyproxy.log"
LogLevel Critical
MaxClients 20
BasicAuth joe secret
EOF
tinyproxy -d -c "$work/tinyproxy.conf" >/dev/null 2>&1 &
pids+=($!)
proxy_line="@@@127.0.0.1:$proxy_port;joe;BE5BE0650149FDDE"

# serve <folder>: the test server on a free port (sets port).
serve() {
    rm -f "$work/server.out" "$work/list-time"
    /usr/bin/python3 tools/imaging_server.py --root "$1" --server-version 7.2.1 --quiet \
        --list-time "$work/list-time" --lifetime 3600 >"$work/server.out" 2>&1 &
    pids+=($!)
    port=
    until [[ -n $port ]]; do
        sleep 0.1
        port=$(sed -n 's|.* on http://127\.0\.0\.1:\([0-9]*\)/.*|\1|p' "$work/server.out")
    done
}

# curl_all <files> [proxy]: one curl, one keep-alive connection, every file (sets elapsed).
curl_all() {
    rm -rf "$work/curl" && mkdir -p "$work/curl"
    local name
    for name in $(ls "$client"); do
        printf 'url = "http://127.0.0.1:%s/HalWebClient64/%s"\noutput = "%s/curl/%s"\n' \
            "$port" "$name" "$work" "$name"
    done >"$work/curl.cfg"
    local start
    start=$(now)
    curl -s ${2:+-x "$2" -U joe:secret} -K "$work/curl.cfg"
    elapsed=$(seconds "$start" "$(now)")
}

# run_loader <folder>: the loader until it starts the workstation (sets started, ended).
run_loader() {
    rm -f "$1/7_64/workstation-start.txt"
    started=$(now)
    (cd "$1" && exec timeout -k 5 900 wine SkiffApp64.exe </dev/null >wine.out 2>&1) &
    local pid=$!
    until [[ -f $1/7_64/workstation-start.txt ]] || ! kill -0 $pid 2>/dev/null; do
        sleep 0.01
    done
    ended=$(now)
    wait $pid || true
    [[ -f $1/7_64/workstation-start.txt ]] || { echo "client_update: the loader failed"; tail -5 "$1/Skiff.log"; exit 1; }
}

# new_client <files> <size> <label> [proxy line]
new_client() {
    local files=$1 size=$2 label=$3
    local loader=$work/loader-$label
    rm -rf "$loader" && mkdir -p "$loader"
    cp "$exe" "$loader/"
    printf '127.0.0.1:%s\r\n%sAutoStart=Y\r\nAutoClose=Y\r\n' "$port" "${4:+$4$'\r\n'}" \
        >"$loader/TillerConfig.txt"
    run_loader "$loader"
    local loader_time
    loader_time=$(seconds "$(cat "$work/list-time")" "$ended")
    [[ $(ls "$loader/7_64" | grep -c ^file) == "$files" ]] ||
        echo "client_update: the loader did not fetch every file"
    printf '  %-26s loader %6.2f s (%s), curl %5.2f s (%s): %s\n' "$label" "$loader_time" \
        "$(per_file "$loader_time" "$files")" "$elapsed" "$(per_file "$elapsed" "$files")" \
        "$(ratio "$loader_time" "$elapsed")"
}

for case in $cases; do
    files=${case%:*} size=${case#*:}
    served=$work/served-$files
    client=$served/HalWebClient64
    mkdir -p "$client"
    head -c $((files * size)) /dev/urandom | split -a 4 -d -b "$size" - "$client/file"
    cp "$workstation" "$client/"
    serve "$served"
    echo "new client, $files files of $size bytes (from the file-list reply to the workstation's start):"
    curl_all "$files"
    new_client "$files" "$size" "direct-$files"
    if [[ $case == "${cases%% *}" ]]; then
        curl_all "$files" "127.0.0.1:$proxy_port"
        new_client "$files" "$size" "tinyproxy-$files" "$proxy_line"
    fi
    last_loader=$work/loader-direct-$files
    last_files=$files
done

echo "up-to-date client, $last_files files (from the loader's start to the workstation's start):"
run_loader "$last_loader"
up_to_date=$(seconds "$started" "$ended")
start=$(now)
wine cmd /c exit </dev/null >/dev/null 2>&1
empty=$(seconds "$start" "$(now)")
printf '  loader %.2f s, Wine starting an empty program %.2f s: %s\n' "$up_to_date" "$empty" \
    "$(ratio "$up_to_date" "$empty")"

if [[ -x $list_bench ]]; then
    echo "reading a file list of 50,000 entries:"
    "$list_bench" --benchmark_filter='FromXMLString|ParseAndWalk' 2>/dev/null |
        awk '/^BM_/ { print "  " $1 ": " $2 " " $3 }'
fi
