#!/usr/bin/env bash
# The whole product, started as a user starts it, in a home folder whose name has non-ASCII
# letters: MacHost makes the default bottle, starts the loader in it through Wine, the loader
# updates a client from the test imaging server and starts the stand-in workstation, and the
# host quits by itself once the workstation has ended. Then a second start that reuses the
# bottle, a start that opens a document in it instead of the loader, and one that takes
# documents from a second start and from the desktop while its loader runs.
#
#   main_job.sh BUNDLE IMAGING_SERVER SAMPLE_CLIENT WORKSTATION_EXE
set -uo pipefail
bundle=$1 imaging_server=$2 sample=$3 workstation=$4
source "$(dirname "$0")/../../../scripts/virtual-display.sh"

failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}
[[ -f "$bundle/Contents/SharedSupport/halcyonimaging/support/default/drive_c/Program Files/Halcyon Imaging/SkiffApp64.exe" ]] ||
    { echo "the bundle has no loader: build the win64 preset, then this one again"; exit 1; }
[[ -f $workstation ]] || { echo "no stand-in workstation at $workstation"; exit 1; }

work=$(mktemp -d /tmp/halcyon-main-job.XXXXXX) || exit 1
home="$work/José Müller"
app="$work/Halcyon Imaging.app"
template="$app/Contents/SharedSupport/halcyonimaging/support/default/drive_c/Program Files/Halcyon Imaging"
bottles="$home/.local/share/Halcyon Imaging/Bottles"
bottle="$bottles/default"
loader="$bottle/drive_c/Program Files/Halcyon Imaging"

cleanup() {
    [[ -d $bottle ]] && WINEPREFIX=$bottle wineserver -k 2>/dev/null
    stop_virtual_display
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$home" "$work/run" "$work/served" "$work/docs"
chmod 700 "$work/run"
cp -a "$bundle" "$app"
cp -r "$sample/." "$work/served/"
cp "$workstation" "$work/served/HalWebClient64/"

[[ -n ${DISPLAY:-} ]] || start_virtual_display

# The user's environment: only HOME says where the user's folders are.
export HOME=$home XDG_RUNTIME_DIR=$work/run TS_LOG=1 HALCYON_WORKSTATION_SECONDS=3
unset XDG_DATA_HOME XDG_CONFIG_HOME WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
export http_proxy= https_proxy= GSETTINGS_BACKEND=memory

# MacHost against the test imaging server (the loader's servers come from the template's
# TillerConfig.txt); its output in $work/host-N.out, its exit status in $work/status-N.
run_host() {
    local run=$1
    shift
    local servers
    servers=$(printf '127.0.0.1:%s\r\nAutoStart=Y\r\nAutoClose=Y\r\n' "${HALCYON_HTTP_PORT:-0}")
    if [[ -f $work/template-tiller ]]; then
        # The loader's own settings name this run's server; the template names another.
        cp "$work/template-tiller" "$template/TillerConfig.txt"
        [[ -d $loader ]] && printf '%s' "$servers" >"$loader/TillerConfig.txt"
    else
        printf '%s' "$servers" >"$template/TillerConfig.txt"
    fi
    local start=$SECONDS
    timeout -k 10 150 "$app/Contents/MacOS/MacHost" "$@" >"$work/host-$run.out" 2>&1 </dev/null
    echo $? >"$work/status-$run"
    echo "run $run: MacHost ended with status $(cat "$work/status-$run") after $((SECONDS - start)) s"
}
export -f run_host
export work app template loader

serve() {
    /usr/bin/python3 "$imaging_server" --root "$work/served" --server-version 7.2.1 --quiet \
        --exec-timeout 180 --exec bash -c 'run_host "$@"' run_host "$@"
}

# Processes of the bottle that are still there.
bottle_processes() {
    local environ
    for environ in /proc/[0-9]*/environ; do
        tr '\0' '\n' 2>/dev/null <"$environ" | grep -qxF "WINEPREFIX=$bottle" &&
            echo "${environ%/environ}"
    done
}

check_main_job() {
    local run=$1 sessions=$2
    [[ $(cat "$work/status-$run") == 0 ]] || fail "run $run: MacHost did not end with status 0"
    grep -qF "Running tasks: 0" "$work/host-$run.out" || fail "run $run: no \"Running tasks: 0\""
    grep -qF "The primary OEM task just exited.  Time to close down." "$work/host-$run.out" ||
        fail "run $run: the host did not quit after its last task"
    cmp -s "$work/served/HalWebClient64/ReadMe.txt" "$loader/7_64/ReadMe.txt" ||
        fail "run $run: the client was not updated in the bottle"
    [[ -s $loader/7_64/series.txt ]] || fail "run $run: the gzip file was not unpacked"
    local record=$loader/7_64/workstation-start.txt
    [[ $(grep -c -- '-Whttp://127.0.0.1:' "$record" 2>/dev/null) == "$sessions" ]] ||
        fail "run $run: the workstation was not started $sessions time(s)"
    [[ $(grep -cx 'ended' "$record" 2>/dev/null) == "$sessions" ]] ||
        fail "run $run: the host quit before the workstation had ended"
    [[ -z $(bottle_processes) ]] || fail "run $run: Wine processes of the bottle are left"
}

# 1. A fresh start: the bottle is made, the loader updates the client, the workstation runs.
serve 1
check_main_job 1 1
[[ -f $bottle/system.reg ]] || fail "run 1: the default bottle is no Wine prefix"
[[ -z $(ls -A "$bottles" | grep -v '^default$') ]] || fail "run 1: something beside the bottle: $(ls -A "$bottles")"
[[ $(readlink "$home/.local/share/Halcyon Imaging/BuiltinBottles") == "$app/Contents/SharedSupport/halcyonimaging/support" ]] ||
    fail "run 1: no link to the product's bottles"
cmp -s "$template/ClientLoaderData.txt" "$loader/ClientLoaderData.txt" ||
    fail "run 1: the managed bottle's files were not copied"
grep -qF "mac mode" "$loader/Skiff.log" || fail "run 1: the loader did not run in mac mode"
[[ -z $(find "$home" -name '*.desktop' -path '*applications*') ]] ||
    fail "run 1: the bottle wrote into the user's desktop menus"

# 2. A second start reuses the bottle: what the loader keeps stays, what is missing arrives.
touch "$bottle/kept-by-the-user"
folder_identity=$(stat -c %d:%i "$bottle")
printf '127.0.0.1:1\r\nAutoStart=Y\r\nAutoClose=Y\r\n' >"$work/template-tiller"
echo "added by the site" >"$template/site-notes.txt"
serve 2
check_main_job 2 2
[[ -f $bottle/kept-by-the-user && $(stat -c %d:%i "$bottle") == "$folder_identity" ]] ||
    fail "run 2: the bottle was made anew"
# The loader saves its servers itself; the template's never replace them.
! grep -q '^127\.0\.0\.1:1.$' "$loader/TillerConfig.txt" ||
    fail "run 2: the loader's TillerConfig.txt was replaced by the template's"
[[ $(grep -c "Updating from" "$loader/Skiff.log") == 2 ]] || fail "run 2: the loader's log was replaced"
cmp -s "$template/site-notes.txt" "$loader/site-notes.txt" || fail "run 2: a file the site added was not copied"

# 3. A document on the command line opens in the default bottle; the loader does not start.
printf 'echo opened>"%%~dp0opened.txt"\r\n' >"$work/docs/open me.bat"
run_host 3 "$work/docs/open me.bat"
[[ $(cat "$work/status-3") == 0 ]] || fail "run 3: MacHost did not end with status 0"
[[ -f "$work/docs/opened.txt" ]] || fail "run 3: the document was not opened in the bottle"
[[ $(grep -c "Updating from" "$loader/Skiff.log") == 2 ]] || fail "run 3: the loader started as well"
[[ -z $(bottle_processes) ]] || fail "run 3: Wine processes of the bottle are left"

# 4. Quitting while the loader runs: the host shuts the bottle down (the loader's window is asked
#    to close), then quits, within the shutdown's bound and a margin.
printf 'Main (127.0.0.1:1)\r\n' >"$loader/TillerConfig.txt"
sessions=$(grep -c "=====" "$loader/Skiff.log")
"$app/Contents/MacOS/MacHost" >"$work/host-4.out" 2>&1 </dev/null &
host=$!
for _ in $(seq 300); do
    [[ $(grep -c "=====" "$loader/Skiff.log") -gt $sessions ]] && break
    sleep 0.1
done
sleep 2

# 4a. While it runs, a second start hands its document over (in the bottle it names) and ends
#     at once; the running host opens it.
printf 'echo opened>"%%~dp0%%~n0.opened"\r\n' >"$work/docs/second start.bat"
timeout 30 "$app/Contents/MacOS/MacHost" --bottle default "$work/docs/second start.bat" \
    >"$work/host-4a.out" 2>&1 </dev/null
status=$?
[[ $status == 0 ]] || fail "run 4a: the second start ended with status $status"

# 4b. The desktop opens a Windows program with the product, through its desktop entry and its
#     command as the package installs them (in a system data folder: xdg-utils cannot read
#     the user's own when the home folder's name has a space).
mkdir -p "$work/share/applications" "$work/bin"
cp "$(dirname "$0")/../../../packaging/halcyon-imaging.desktop" "$work/share/applications/"
update-desktop-database "$work/share/applications"
ln -s "$app/Contents/MacOS/MacHost" "$work/bin/halcyon-imaging"
export XDG_DATA_DIRS=$work/share:/usr/local/share:/usr/share
cp "$workstation" "$work/docs/viewer.exe"
for type in "$(file --brief --mime-type "$work/docs/viewer.exe")" \
    x-scheme-handler/example.tessera.private-halcyonimaging-app-scheme; do
    [[ $(xdg-mime query default "$type") == halcyon-imaging.desktop ]] ||
        fail "run 4b: the desktop does not open $type with the product"
done
PATH="$work/bin:$PATH" timeout 30 env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION \
    xdg-open "$work/docs/viewer.exe" >"$work/host-4b.out" 2>&1 </dev/null
status=$?
[[ $status == 0 ]] || fail "run 4b: xdg-open ended with status $status"
for _ in $(seq 600); do
    [[ -f "$work/docs/second start.opened" ]] && grep -qx ended "$work/docs/workstation-start.txt" 2>/dev/null &&
        break
    sleep 0.1
done
[[ -f "$work/docs/second start.opened" ]] || fail "run 4a: the handed-over document was not opened"
grep -qx ended "$work/docs/workstation-start.txt" 2>/dev/null ||
    fail "run 4b: the program opened from the desktop did not run"
kill -0 "$host" 2>/dev/null || fail "run 4: the host ended before it was asked to"

asked=$SECONDS
kill -TERM "$host"
for _ in $(seq 300); do
    kill -0 "$host" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$host" 2>/dev/null; then
    fail "run 4: MacHost did not quit within 30 s of SIGTERM"
    kill -KILL "$host"
fi
wait "$host"
status=$?
echo "run 4: MacHost ended with status $status $((SECONDS - asked)) s after SIGTERM"
[[ $status == 0 ]] || fail "run 4: MacHost did not end with status 0"
grep -qF "Shutting down all bottles." "$work/host-4.out" || fail "run 4: the bottles were not shut down"
[[ -z $(bottle_processes) ]] || fail "run 4: Wine processes of the bottle are left"

if ((failures)); then
    for out in "$work"/host-*.out; do
        echo "--- $(basename "$out")"
        grep -v 'propagateSizeHints\|support raise' "$out" | tail -20
    done
    echo "--- Skiff.log"
    tail -30 "$loader/Skiff.log" 2>/dev/null
    exit 1
fi
echo "the product ran its main job three times, took documents from a second start and the desktop, and quit while its loader ran"
