#!/usr/bin/env bash
# Update sessions end to end, as a user runs them: the real SkiffApp64.exe under Wine, started
# with "AutoStart=Y" and "AutoClose=Y" in scratch folders, against the test imaging web server
# on 127.0.0.1. Checks Skiff.log, the client folder and what the stand-in workstation and
# updater recorded. KEEP_WORK=1 keeps the scratch folders for a look afterwards.
# Usage: loader_session_run.sh <wine> <SkiffApp64.exe> <HalcyonWorkstation.exe>
#                              <ClientUpdater.exe> <PressButton.exe> <imaging_server.py>
set -uo pipefail
wine=$1 exe=$2 workstation=$3 updater=$4 press=$5 server_py=$6

if [[ -z ${DISPLAY:-} ]]; then
    echo "loader_session_run: no display (DISPLAY is empty)"
    exit 77
fi

source "$(dirname "$0")/session_support.sh"

# The served client: plain files, a gzip file, the local database and the stand-in workstation.
served=$work/served
client=$served/HalWebClient64
mkdir -p "$client" "$served/WinLauncher"
cp "$workstation" "$client/HalcyonWorkstation.exe"
printf 'alpha\n' >"$client/a.txt"
head -c 300000 /dev/urandom >"$client/big.bin"
head -c 200000 /dev/urandom | base64 >"$work/lib.dll"
gzip -c "$work/lib.dll" >"$client/lib.dll.gz"
printf 'local database 1\n' >"$client/halcyonlocal.mdb"
touch -d '2024-03-01 10:00:00' "$client"/*
printf 'loader archive' >"$served/WinLauncher/SkiffApp64.zip"
server_files=5

same_time() { [[ $(stat -c %Y "$1") == $(stat -c %Y "$2") ]]; }

# 1. A fresh client: every file fetched, the gzip file unpacked, times set, the six folders
#    created, the workstation started with -W and the server base.
scenario="fresh client"
start_server "$served" --server-version 7.2.1
new_loader_folder fresh "127.0.0.1:$port" AutoStart=Y AutoClose=Y
run_loader
local_client=$dir/7_64
expect_log "$dir" "Updating from  http://127.0.0.1:$port" \
    "Trying http://127.0.0.1:$port/HalWebServer/HalWebServer.dll?PatchClientEx" \
    "ClientLoaderData: 64bit = true" "Server ver=7.2.1 (64bit)" "Local dir = 7_64" \
    "Download Dir=7_64" "Web version: 7.2.1 64bit, $server_files files to download" \
    "http://127.0.0.1:$port/HalWebClient64/lib.dll.gz -> 7_64\\lib.dll.gz" \
    "Loading successful (" "! Starting Halcyon !" \
    "shExecInfo.lpFile=\"7_64\\HalcyonWorkstation.exe\"" \
    "shExecInfo.lpParameters= -Whttp://127.0.0.1:$port" "ShellExecuteEx success"
for name in a.txt big.bin halcyonlocal.mdb HalcyonWorkstation.exe; do
    cmp -s "$client/$name" "$local_client/$name" || fail "$name differs from the server's"
    same_time "$client/$name" "$local_client/$name" || fail "$name has not the server's time"
done
cmp -s "$work/lib.dll" "$local_client/lib.dll" || fail "lib.dll.gz was not unpacked"
same_time "$client/lib.dll.gz" "$local_client/lib.dll" || fail "lib.dll has not the server's time"
[[ -e $local_client/lib.dll.gz ]] && fail "the downloaded .gz file was kept"
ls "$local_client" | grep -q skiff-part && fail "a temporary file was left behind"
for sub in Studies Comms Comms/InBox Comms/Logfiles Comms/OutBox Comms/ReportTemplates; do
    [[ -d $local_client/$sub ]] || fail "no folder $sub"
done
wait_until 20 grep -q '^ended' "$local_client/workstation-start.txt" || fail "the workstation did not run"
grep -qE "^command=.*HalcyonWorkstation.exe\"? +-Whttp://127.0.0.1:$port\$" \
    "$local_client/workstation-start.txt" || fail "workstation command line: $(cat "$local_client/workstation-start.txt")"
grep -qE '^folder=.*\\7_64$' "$local_client/workstation-start.txt" ||
    fail "workstation folder: $(cat "$local_client/workstation-start.txt")"

# 2. Up to date: nothing to fetch, no summary line, and the workstation starts.
scenario="up to date"
run_loader
expect_log "$dir" "Web version: 7.2.1 64bit, 0 files to download"
[[ $(log_count "$dir" "Loading successful (") == 1 ]] || fail "a summary line without downloads"
[[ $(starts "$dir") == 2 ]] || fail "the workstation was not started again"

# 3. One changed file, and a newer halcyonlocal.mdb on the server that is kept locally.
scenario="one changed file"
printf 'alpha, second edition\n' >"$client/a.txt"
printf 'local database 2\n' >"$client/halcyonlocal.mdb"
touch -d '2024-04-01 09:30:00' "$client/a.txt" "$client/halcyonlocal.mdb"
run_loader
expect_log "$dir" "Web version: 7.2.1 64bit, 1 files to download"
cmp -s "$client/a.txt" "$local_client/a.txt" || fail "a.txt was not updated"
[[ $(cat "$local_client/halcyonlocal.mdb") == "local database 1" ]] || fail "halcyonlocal.mdb was replaced"
[[ $(starts "$dir") == 3 ]] || fail "the workstation was not started"

# 4. A server that cuts a changed file off half-way: the old file stays as it was, no launch.
scenario="cut-off file"
cp "$local_client/big.bin" "$work/big.old"
head -c 300000 /dev/urandom >"$client/big.bin"
touch -d '2024-04-02 09:30:00' "$client/big.bin"
start_server "$served" --server-version 7.2.1 --file-options cut=150000
set_config "127.0.0.1:$port" AutoStart=Y AutoClose=Y
run_loader "Could not download big.bin"
cmp -s "$work/big.old" "$local_client/big.bin" || fail "the old big.bin was not kept as it was"
ls "$local_client" | grep -q skiff-part && fail "a temporary file was left behind"
[[ $(starts "$dir") == 3 ]] || fail "the workstation was started after a failed download"

# 5. Reload while the workstation runs: nothing removed. Then, once it has ended: everything
#    fetched again, except the workstation's data.
scenario="reload"
start_server "$served" --server-version 7.2.1
set_config "127.0.0.1:$port" AutoStart=Y AutoClose=Y
HALCYON_WORKSTATION_SECONDS=30 run_loader
[[ $(starts "$dir") == 4 ]] || fail "the workstation was not started"
set_config "127.0.0.1:$port" AutoClose=Y
press_id=206 run_loader "Please close it and try again."
expect_log "$dir" "Checking semaphore <7_64-HalcyonWorkstation.exe>" "Halcyon running" \
    "Halcyon is running !"
[[ -f $local_client/big.bin && $(starts "$dir") == 4 ]] || fail "files were removed"
wait_until 60 eval '[[ $(grep -c "^ended" "$local_client/workstation-start.txt") == 4 ]]' ||
    fail "the workstation did not end"
# The workstation's data is the user's: Reload keeps it.
printf 'study\n' >"$local_client/Studies/study-1.dcm"
printf 'unsent item\n' >"$local_client/Comms/OutBox/item-1.msg"
printf 'template\n' >"$local_client/Comms/ReportTemplates/chest.rtf"
press_id=206 run_loader
expect_log "$dir" "Reloading all client files"
for kept in Studies/study-1.dcm Comms/OutBox/item-1.msg Comms/ReportTemplates/chest.rtf; do
    [[ -f $local_client/$kept ]] || fail "Reload removed the workstation's $kept"
done
[[ $(log_count "$dir" "Web version: 7.2.1 64bit, $server_files files to download") == 2 ]] ||
    fail "reload did not fetch every file again"
[[ $(starts "$dir") == 1 ]] || fail "the old client was not removed"
cmp -s "$client/big.bin" "$local_client/big.bin" || fail "big.bin was not fetched"

# 6. A newer loader: the archive is fetched, the updater started, the window closed.
scenario="newer loader"
start_server "$served" --server-version 7.2.1 --loader-version 4.1
new_loader_folder update "127.0.0.1:$port" AutoStart=Y AutoClose=Y
cp "$updater" "$dir/ClientUpdater.exe"
run_loader
expect_log "$dir" "localLoaderVersion=4.0, serverLoaderVersion=4.1 (-1)" \
    "Updating Loader from 4.0 to 4.1" "Loaded SkiffApp.zip" \
    "shExecInfo.lpParameters=SkiffApp.zip . SkiffApp.exe" "Launching Updater please wait ...."
cmp -s "$served/WinLauncher/SkiffApp64.zip" "$dir/SkiffApp.zip" || fail "SkiffApp.zip not fetched"
grep -qE '^command=.*ClientUpdater.exe"? +SkiffApp.zip \. SkiffApp.exe$' "$dir/updater-start.txt" ||
    fail "updater command line: $(cat "$dir/updater-start.txt" 2>&1)"
grep -qE '^folder=.*\\update$' "$dir/updater-start.txt" || fail "updater folder"
[[ -e $dir/7_64 ]] && fail "the client was updated by the old loader"

# 7. errorMsg with infoMsg: the info line first, then the error; nothing fetched.
scenario="error message"
start_server "$served" --server-version 7.2.1 --info-msg "Maintenance at 22:00" \
    --error-msg "Server closed"
new_loader_folder message "127.0.0.1:$port" AutoStart=Y AutoClose=Y
run_loader "Server closed"
grep -A1 -F "  Maintenance at 22:00" "$dir/Skiff.log" | grep -qF "  Server closed" ||
    fail "the info line is not followed by the error: $(tail -5 "$dir/Skiff.log")"
[[ -e $dir/7_64 ]] && fail "files were fetched despite the error"

# 8. Mac mode and a server without 64-bit files: the session stops; the body carries every key.
scenario="mac mode"
served32=$work/served32
mkdir -p "$served32/HalWebClient"
printf 'x\n' >"$served32/HalWebClient/a.txt"
start_server "$served32" --server-version 7.2.1
new_loader_folder mac "127.0.0.1:$port" AutoStart=Y AutoClose=Y
printf 'site = 3\nmac=true\n' >"$dir/ClientLoaderData.txt"
run_loader "No 64bit version - Exiting"
expect_log "$dir" "mac mode" "ClientLoaderData: 64bit = true | mac = true | site = 3"
body=$(curl -s "http://127.0.0.1:$port/~last" | tail -c 40)
[[ $body == *$'64bit = true\nmac = true\nsite = 3' ]] || fail "request body: $body"
ls -d "$dir"/7* >/dev/null 2>&1 && fail "a client folder was created"

# 8b. A file that arrives empty counts as failed: the files before it stay, no launch.
scenario="empty file"
served0=$work/served0
mkdir -p "$served0/HalWebClient64"
printf 'x\n' >"$served0/HalWebClient64/a.txt"
: >"$served0/HalWebClient64/empty.bin"
start_server "$served0" --server-version 7.2.1
new_loader_folder empty "127.0.0.1:$port" AutoStart=Y AutoClose=Y
run_loader "Download failed for empty.bin"
[[ -f $dir/7_64/a.txt && ! -e $dir/7_64/empty.bin ]] || fail "client folder: $(ls "$dir/7_64")"
expect_no_log "$dir" "! Starting Halcyon !" "Loading successful ("

# 9. A proxy with user and password: files come through the proxy, and the workstation gets
#    -P with "!" for ":", -Q and -R.
scenario="proxy"
start_server "$served" --server-version 7.2.1 --proxy-auth joe:secret
new_loader_folder proxy "127.0.0.1:$port" "@@@127.0.0.1:$port;joe;BE5BE0650149FDDE" \
    AutoStart=Y AutoClose=Y
run_loader
expect_log "$dir" "Web version: 7.2.1 64bit, $server_files files to download" \
    "shExecInfo.lpParameters= -Whttp://127.0.0.1:$port -P127.0.0.1!$port -Qjoe -Rs..."
grep -q secret "$dir/Skiff.log" && fail "the proxy password is in Skiff.log"
grep -qE "^command=.* -Whttp://127.0.0.1:$port -P127.0.0.1!$port -Qjoe -Rsecret\$" \
    "$dir/7_64/workstation-start.txt" || fail "workstation command line"

# 10. A single-study link: the workstation gets -E and the link.
scenario="single-study link"
start_server "$served" --server-version 7.2.1
link="http://127.0.0.1:$port/HalWebServer/Study.html?SingleStudy&id=42"
new_loader_folder link "$link" AutoStart=Y AutoClose=Y
run_loader
expect_log "$dir" "! Starting Halcyon with web link !" "shExecInfo.lpParameters= -E$link"
grep -qF " -E$link" "$dir/7_64/workstation-start.txt" || fail "workstation command line"

# 11. A server version without ".": refused before anything is written.
scenario="bad server version"
start_server "$served" --server-version 7
new_loader_folder badversion "127.0.0.1:$port" AutoStart=Y AutoClose=Y
run_loader 'Server version "7" names no local client folder - Exiting'
ls "$dir" | grep -qvE '^(SkiffApp64.exe|TillerConfig.txt|Skiff.log|wine.out)$' &&
    fail "something was written: $(ls "$dir")"

# 12. Names in another case: a local file whose name differs from the server's only in case
#     is replaced, not doubled, and a part file left in another case is taken over. Files of
#     different server folders that land on one local name (also a ".gz" file unpacked to
#     a plain file's name) end as the last of them in the list, as fetched one by one.
scenario="names in another case"
served_case=$work/served-case
mkdir -p "$served_case/HalWebClient64"/{one,two,three}
cp "$workstation" "$served_case/HalWebClient64/HalcyonWorkstation.exe"
printf 'server copy\n' >"$served_case/HalWebClient64/report.txt"
printf 'new file\n' >"$served_case/HalWebClient64/new.dat"
printf 'from one\n' >"$served_case/HalWebClient64/one/same.txt"
printf 'from two\n' >"$served_case/HalWebClient64/two/same.txt"
printf 'packed\n' | gzip >"$served_case/HalWebClient64/lib.dat.gz"
printf 'plain\n' >"$served_case/HalWebClient64/three/lib.dat"
find "$served_case/HalWebClient64" -type f -exec touch -d '2024-03-01 10:00:00' {} +
start_server "$served_case" --server-version 7.2.1
new_loader_folder cases "127.0.0.1:$port" AutoStart=Y AutoClose=Y
mkdir -p "$dir/7_64"
printf 'old copy\n' >"$dir/7_64/REPORT.TXT"
touch -d '2023-01-01 10:00:00' "$dir/7_64/REPORT.TXT"
printf 'left over' >"$dir/7_64/NEW.DAT.SKIFF-PART"
run_loader
expect_log "$dir" "Web version: 7.2.1 64bit, 7 files to download" "! Starting Halcyon !"
[[ $(cat "$dir/7_64/same.txt" 2>/dev/null) == "from two" ]] || fail "same.txt is not the last one's"
[[ $(cat "$dir/7_64/lib.dat" 2>/dev/null) == "plain" ]] || fail "lib.dat is not the last one's"
[[ $(ls "$dir/7_64" | grep -ci '^report\.txt$') == 1 ]] || fail "report.txt: $(ls "$dir/7_64")"
[[ $(cat "$dir/7_64"/[Rr][Ee][Pp][Oo][Rr][Tt].[Tt][Xx][Tt]) == "server copy" ]] ||
    fail "report.txt was not replaced"
[[ $(cat "$dir/7_64/new.dat" 2>/dev/null) == "new file" ]] || fail "new.dat: $(ls "$dir/7_64")"
ls "$dir/7_64" | grep -qi skiff-part && fail "a part file was left: $(ls "$dir/7_64")"

((status == 0)) && echo "loader session run passed"
exit $status
