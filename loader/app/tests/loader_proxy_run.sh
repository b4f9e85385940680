#!/usr/bin/env bash
# Update sessions through real proxies with Basic authentication, as a hospital runs them:
# tinyproxy (which closes its connection after refusing) and squid, both from Debian, plus
# the test server's own proxy for a connection that breaks off. The credentials go with the
# first request, so neither proxy refuses a request on the way; a wrong password or no user
# ends the session with the loader's failure line. The password never reaches the log.
# Usage: loader_proxy_run.sh <wine> <SkiffApp64.exe> <HalcyonWorkstation.exe> <imaging_server.py>
set -uo pipefail
wine=$1 exe=$2 workstation=$3 server_py=$4

if [[ -z ${DISPLAY:-} ]]; then
    echo "loader_proxy_run: no display (DISPLAY is empty)"
    exit 77
fi
for program in tinyproxy squid; do
    command -v "$program" >/dev/null || { echo "loader_proxy_run: no $program (scripts/setup)"; exit 1; }
done

source "$(dirname "$0")/session_support.sh"

served=$work/served
client=$served/HalWebClient64
mkdir -p "$client"
cp "$workstation" "$client/HalcyonWorkstation.exe"
printf 'alpha\n' >"$client/a.txt"
head -c 300000 /dev/urandom >"$client/big.bin"
requests=4 # the file list and three files

# The proxy line of TillerConfig.txt: "secret" and "wrong" scrambled as the loader keeps them.
secret=BE5BE0650149FDDE
wrong=$(/usr/bin/python3 - <<'EOF'
import struct
key = struct.unpack("<4I", b"quindoravelt".ljust(16, b"\0"))
v0, v1 = struct.unpack("<2I", b"wrong\0\0\0")
total = 0
for _ in range(32):
    v0 = (v0 + ((((v1 << 4) ^ (v1 >> 5)) + v1) ^ (total + key[total & 3]))) & 0xFFFFFFFF
    total = (total + 0x9E3779B9) & 0xFFFFFFFF
    v1 = (v1 + ((((v0 << 4) ^ (v0 >> 5)) + v0) ^ (total + key[(total >> 11) & 3]))) & 0xFFFFFFFF
print(struct.pack("<2I", v0, v1).hex().upper())
EOF
)

free_port() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
proxy_pids=()
stop_proxies() {
    local pid
    for pid in "${proxy_pids[@]}"; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    proxy_pids=()
}
trap 'stop_proxies; stop_server; [[ -n ${KEEP_WORK:-} ]] || rm -rf "$work"' EXIT

tinyproxy_port=$(free_port)
cat >"$work/tinyproxy.conf" <<EOF
Port $tinyproxy_port
Listen 127.0.0.1
Timeout 120
LogFile "$work/tinyproxy.log"
LogLevel Connect
MaxClients 20
BasicAuth joe secret
EOF
tinyproxy -d -c "$work/tinyproxy.conf" >"$work/tinyproxy.out" 2>&1 &
proxy_pids+=($!)

squid_port=$(free_port)
mkdir -p "$work/squid"
printf 'joe:%s\n' "$(openssl passwd -apr1 secret)" >"$work/squid/passwd"
{
    echo "http_port 127.0.0.1:$squid_port"
    echo "auth_param basic program /usr/lib/squid/basic_ncsa_auth $work/squid/passwd"
    echo "acl authenticated proxy_auth REQUIRED"
    echo "http_access allow authenticated"
    echo "http_access deny all"
    echo "cache deny all"
    echo "access_log stdio:$work/squid/access.log"
    echo "cache_log $work/squid/cache.log"
    echo "pid_filename $work/squid/squid.pid"
    echo "coredump_dir $work/squid"
    echo "shutdown_lifetime 0 seconds"
    # Run as root, squid gives up its rights: its files must be its user's to write.
    ((EUID == 0)) && echo "cache_effective_user proxy"
} >"$work/squid/squid.conf"
touch "$work/squid/access.log" "$work/squid/cache.log"
if ((EUID == 0)); then
    chmod 755 "$work" "$work/squid"
    chmod 644 "$work/squid/passwd"
    chown proxy "$work/squid/access.log" "$work/squid/cache.log"
fi
squid -N -f "$work/squid/squid.conf" >"$work/squid/squid.out" 2>&1 &
proxy_pids+=($!)
listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
wait_until 30 listening "$tinyproxy_port" || fail "tinyproxy did not start: $(cat "$work/tinyproxy.out")"
wait_until 60 listening "$squid_port" || fail "squid did not start: $(tail -5 "$work/squid/cache.log")"

start_server "$served" --server-version 7.2.1
files_fetched() { cmp -s "$client/big.bin" "$dir/7_64/big.bin" && cmp -s "$client/a.txt" "$dir/7_64/a.txt"; }
# The log names the proxy and its user, and of the password only its first character.
no_password_in_log() {
    grep -q 'secret\|wrong' "$dir/Skiff.log" && fail "a password is in Skiff.log"
    expect_log "$dir" "CHttpDownloader::CreateSession() using proxy: 127.0.0.1:$1 user: joe password: $2..."
}

# tinyproxy refuses with "Connection: close" before it has read a request's body, so its reply
# may arrive or the connection may be reset under it (also when the request goes once more).
# Either way the session ends with its failure line, and nothing is started.
refused() {
    log_has "$dir" "PatchClient Failed $1" ||
        log_has "$dir" "PatchClient Failed An error occurred connecting to the server, Error:The connection with the server has been terminated." ||
        fail "not the failure line of a refusal: $(grep 'PatchClient Failed' "$dir/Skiff.log")"
    expect_no_log "$dir" "! Starting Halcyon !"
}

# 1. tinyproxy, the right password: everything fetched, each request once (no refusal first).
scenario="tinyproxy"
new_loader_folder tinyproxy "127.0.0.1:$port" "@@@127.0.0.1:$tinyproxy_port;joe;$secret" \
    AutoStart=Y AutoClose=Y
: >"$work/tinyproxy.log"
run_loader
files_fetched || fail "the client was not fetched"
expect_log "$dir" "! Starting Halcyon !"
[[ $(grep -c 'Request (' "$work/tinyproxy.log") == "$requests" ]] ||
    fail "tinyproxy saw $(grep -c 'Request (' "$work/tinyproxy.log") requests, not $requests"
no_password_in_log "$tinyproxy_port" s

# 2. tinyproxy, a wrong password: it answers 401.
scenario="tinyproxy, wrong password"
new_loader_folder tinyproxy-wrong "127.0.0.1:$port" "@@@127.0.0.1:$tinyproxy_port;joe;$wrong" \
    AutoStart=Y AutoClose=Y
run_loader "PatchClient Failed "
refused "Failed to receive a valid HTTP response from the server, Response Code:401"
no_password_in_log "$tinyproxy_port" w

# 3. tinyproxy, no user: its refusal (407, reset the same way) ends the session.
scenario="tinyproxy, no user"
new_loader_folder tinyproxy-nouser "127.0.0.1:$port" "@@@127.0.0.1:$tinyproxy_port" \
    AutoStart=Y AutoClose=Y
run_loader "PatchClient Failed "
refused "Proxy Authentication failed:407"

# 4. squid, the right password: no 407 in its log, every request served.
scenario="squid"
new_loader_folder squid "127.0.0.1:$port" "@@@127.0.0.1:$squid_port;joe;$secret" \
    AutoStart=Y AutoClose=Y
: >"$work/squid/access.log"
run_loader
files_fetched || fail "the client was not fetched"
wait_until 10 eval '[[ $(grep -c "TCP_MISS/200" "$work/squid/access.log") == $requests ]]' ||
    fail "squid served $(grep -c TCP_MISS/200 "$work/squid/access.log") requests, not $requests"
grep -q '/407 ' "$work/squid/access.log" && fail "squid refused a request: $(grep '/407 ' "$work/squid/access.log" | head -1)"
no_password_in_log "$squid_port" s

# 5. squid, a wrong password and no user: 407, the failure line (code 10).
for user in "joe;$wrong" ""; do
    scenario="squid, ${user:+wrong password}${user:-no user}"
    new_loader_folder "squid-refused-${#user}" "127.0.0.1:$port" "@@@127.0.0.1:$squid_port${user:+;$user}" \
        AutoStart=Y AutoClose=Y
    run_loader "PatchClient Failed Proxy Authentication failed:407"
    expect_no_log "$dir" "! Starting Halcyon !"
done

# 6. A proxy that drops the connection of the first request: sent once more on a fresh one.
# Wine reports the reset either as a failed send or as an answer without a status line.
scenario="dropped proxy connection"
start_server "$served" --server-version 7.2.1 --proxy-auth joe:secret --proxy-drop-first 1
new_loader_folder dropped "127.0.0.1:$port" "@@@127.0.0.1:$port;joe;$secret" AutoStart=Y AutoClose=Y
run_loader
[[ $(grep -c 'answered with a reset' "$server_out") == 1 ]] ||
    fail "the proxy did not drop the first request: $(cat "$server_out")"
expect_log "$dir" "! Starting Halcyon !"
expect_no_log "$dir" "PatchClient Failed "
files_fetched || fail "the client was not fetched"

((status == 0)) && echo "loader proxy run passed"
exit $status
