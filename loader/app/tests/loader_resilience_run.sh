#!/usr/bin/env bash
# Sessions that break off, measured from outside under Wine: the loader killed half-way through
# a large file, a window closed during a download, a disk that fills up, a server that fails one
# file in the middle. The old client stays whole and the next session repairs it. Also file
# names with "#" and "%".
# Usage: loader_resilience_run.sh <wine> <SkiffApp64.exe> <HalcyonWorkstation.exe>
#                                 <imaging_server.py>
set -uo pipefail
wine=$1 exe=$2 workstation=$3 server_py=$4

if [[ -z ${DISPLAY:-} ]]; then
    echo "loader_resilience_run: no display (DISPLAY is empty)"
    exit 77
fi

source "$(dirname "$0")/session_support.sh"

served=$work/served
client=$served/HalWebClient64
mkdir -p "$client"
cp "$workstation" "$client/HalcyonWorkstation.exe"
printf 'alpha\n' >"$client/a.txt"
head -c 300000 /dev/urandom >"$client/big.bin"
printf 'charlie\n' >"$client/c.txt"
cp "$client/big.bin" "$work/big-1.bin"
head -c 30000000 /dev/urandom >"$work/big-2.bin"
# The loader fetches a file that is newer than its own copy (by the minute): versions with
# times of their own.
touch -d '2024-03-01 10:00:00' "$client"/* "$work/big-1.bin"
touch -d '2024-04-01 10:00:00' "$work/big-2.bin"

same() { cmp -s "$1" "$2"; }
part_grown() { [[ $(stat -c %s "$dir/7_64/big.bin.skiff-part" 2>/dev/null || echo 0) -gt 1000000 ]]; }
# A session that fetches the first client, then the large new big.bin, slowly.
first_client() {
    cp -p "$work/big-1.bin" "$client/big.bin"
    start_server "$served" --server-version 7.2.1
    new_loader_folder "$1" "127.0.0.1:$port" AutoStart=Y AutoClose=Y
    run_loader
    same "$work/big-1.bin" "$dir/7_64/big.bin" || fail "the first client was not fetched"
    cp -p "$work/big-2.bin" "$client/big.bin"
    start_server "$served" --server-version 7.2.1 --file-options slow=50,piece=65536
    set_config "127.0.0.1:$port" AutoStart=Y AutoClose=Y
}
repaired() {
    start_server "$served" --server-version 7.2.1
    set_config "127.0.0.1:$port" AutoStart=Y AutoClose=Y
    run_loader
    same "$work/big-2.bin" "$dir/7_64/big.bin" || fail "the next session did not repair big.bin"
    [[ -e $dir/7_64/big.bin.skiff-part ]] && fail "a part file is left"
    expect_log "$dir" "! Starting Halcyon !"
}

# 1. Killed half-way through a large file: the old file stays whole.
scenario="killed"
first_client killed
(cd "$dir" && exec timeout -k 5 150 "$wine" SkiffApp64.exe </dev/null >>wine.out 2>&1) &
loader_pid=$!
wait_until 60 part_grown || fail "the download did not start"
(cd "$dir" && "$wine" taskkill /f /im SkiffApp64.exe </dev/null >/dev/null 2>&1)
wait "$loader_pid" 2>/dev/null
same "$work/big-1.bin" "$dir/7_64/big.bin" || fail "the old big.bin was damaged"
repaired

# 2. The window closed during a download: the loader ends at once and does not crash.
scenario="closed"
first_client closed
(cd "$dir" && exec timeout -k 5 150 "$wine" SkiffApp64.exe </dev/null >>wine.out 2>&1) &
loader_pid=$!
wait_until 60 part_grown || fail "the download did not start"
(cd "$dir" && "$wine" taskkill /im SkiffApp64.exe </dev/null >/dev/null 2>&1)
wait_until 30 eval '! kill -0 "$loader_pid" 2>/dev/null' || fail "the loader did not end"
wait "$loader_pid" 2>/dev/null
grep -q 'wine: Unhandled' "$dir/wine.out" && fail "the loader crashed: $(grep -m1 Unhandled "$dir/wine.out")"
same "$work/big-1.bin" "$dir/7_64/big.bin" || fail "the old big.bin was damaged"
repaired

# 3. The disk fills up during a download: a small file system as the client folder.
scenario="full disk"
if ((EUID == 0)); then
    cp -p "$work/big-1.bin" "$client/big.bin"
    start_server "$served" --server-version 7.2.1
    new_loader_folder full "127.0.0.1:$port" AutoStart=Y AutoClose=Y
    mkdir -p "$dir/7_64"
    mount -t tmpfs -o size=2m tmpfs "$dir/7_64" || fail "no small file system"
    run_loader
    same "$work/big-1.bin" "$dir/7_64/big.bin" || fail "the first client was not fetched"
    head -c 3000000 /dev/urandom >"$client/big.bin"
    touch -d '2024-04-01 10:00:00' "$client/big.bin"
    start_server "$served" --server-version 7.2.1
    set_config "127.0.0.1:$port" AutoStart=Y AutoClose=Y
    run_loader "Could not download big.bin"
    same "$work/big-1.bin" "$dir/7_64/big.bin" || fail "the old big.bin was damaged"
    [[ -e $dir/7_64/big.bin.skiff-part ]] && fail "the part file was left on the full disk"
    [[ $(log_count "$dir" "! Starting Halcyon !") == 1 ]] || fail "the workstation was started"
    mount -o remount,size=16m "$dir/7_64"
    run_loader
    same "$client/big.bin" "$dir/7_64/big.bin" || fail "the next session did not repair big.bin"
    umount "$dir/7_64"
else
    echo "loader_resilience_run: the full-disk case needs root to mount a small file system"
fi

# 4. The server fails one file in the middle (500, then a reset): the files before it are in
#    place, the ones after it are not fetched, the workstation is not started.
for failure in 500 reset; do
    scenario="server $failure"
    cp -p "$work/big-1.bin" "$client/big.bin"
    start_server "$served" --server-version 7.2.1 --fail-file "HalWebClient64/big.bin=$failure"
    new_loader_folder "fail-$failure" "127.0.0.1:$port" AutoStart=Y AutoClose=Y
    run_loader "Could not download big.bin"
    for before in HalcyonWorkstation.exe a.txt; do
        same "$client/$before" "$dir/7_64/$before" || fail "$before is not in place"
    done
    [[ -e $dir/7_64/big.bin || -e $dir/7_64/c.txt ]] && fail "files after the failed one are there"
    expect_no_log "$dir" "! Starting Halcyon !"
done

# 5. File names with "#" and "%" are fetched whole.
scenario="names"
printf 'hash\n' >"$client/notes#1.txt"
printf 'percent\n' >"$client/100%.txt"
touch -d '2024-04-01 10:00:00' "$client/notes#1.txt" "$client/100%.txt"
start_server "$served" --server-version 7.2.1
new_loader_folder names "127.0.0.1:$port" AutoStart=Y AutoClose=Y
run_loader
same "$client/notes#1.txt" "$dir/7_64/notes#1.txt" || fail "notes#1.txt was not fetched"
same "$client/100%.txt" "$dir/7_64/100%.txt" || fail "100%.txt was not fetched"
rm "$client/notes#1.txt" "$client/100%.txt"

((status == 0)) && echo "loader resilience run passed"
exit $status
