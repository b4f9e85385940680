#!/usr/bin/env bash
# Download throughput over loopback: a 200 MB file from the test imaging server, fetched by
# curl and by CHttpDownloader under Wine (default 1024-byte reads and 64 KiB reads), in the
# same run. Needs the win64 build (cmake --preset win64 && cmake --build --preset win64).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bench_exe=$root/build/win64/loader/net/http_download_bench.exe
[[ -f $bench_exe ]] || { echo "http_download: build the win64 preset first"; exit 1; }

work=$(mktemp -d /tmp/http_download.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/served/HalWebClient64"
head -c 200000000 /dev/urandom >"$work/served/HalWebClient64/big.bin"

export WINEPREFIX=${WINEPREFIX:-$root/build/win64/wineprefix} WINEDEBUG=-all
export WINEDLLOVERRIDES=mscoree,mshtml= http_proxy= https_proxy=
/usr/bin/python3 tools/imaging_server.py --root "$work/served" --quiet --exec-timeout 600 \
    --exec bash -c '
url=http://127.0.0.1:$HALCYON_HTTP_PORT/HalWebClient64/big.bin
for run in 1 2; do
    curl -s -o /dev/null -w "%{speed_download}\n" "$url" |
        awk "{ printf \"curl (to /dev/null):               %8.1f MB/s\n\", \$1 / 1e6 }"
    curl -s -o "$0/curl.bin" -w "%{speed_download}\n" "$url" |
        awk "{ printf \"curl (to a file):                  %8.1f MB/s\n\", \$1 / 1e6 }"
    rm -f "$0/curl.bin"
    wine "$1" "$url" "Z:${0//\//\\}\\wine.bin" 1024 65536
done' "$work" "$bench_exe"
