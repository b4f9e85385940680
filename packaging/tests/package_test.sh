#!/usr/bin/env bash
# The product's Debian package, checked as a site receives it: its control data and files,
# lintian's verdict, and the product started from the package's files as they are installed,
# with a site's TillerConfig.txt added: MacHost makes the default bottle, the loader updates a
# client from the test imaging server and starts the stand-in workstation, and the host quits
# by itself. Nothing may be written into the installed files.
#
#   package_test.sh DEB IMAGING_SERVER SAMPLE_CLIENT WORKSTATION_EXE
set -uo pipefail
deb=$1 imaging_server=$2 sample=$3 workstation=$4
source "$(dirname "$0")/../../scripts/virtual-display.sh"

failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}
[[ -f $deb ]] || { echo "package_test: no package at $deb (scripts/package)"; exit 1; }

work=$(mktemp -d /tmp/halcyon-package.XXXXXX) || exit 1
root=$work/root
home=$work/home
bottle="$home/.local/share/Halcyon Imaging/Bottles/default"
server_pid=
cleanup() {
    [[ -n $server_pid ]] && kill "$server_pid" 2>/dev/null
    [[ -d $bottle ]] && WINEPREFIX=$bottle wineserver -k 2>/dev/null
    stop_virtual_display
    rm -rf "$work"
}
trap cleanup EXIT

# 1. Control data: the product's version, and every run-time package.
[[ $(dpkg-deb -f "$deb" Package) == halcyon-imaging ]] || fail "package name"
[[ $(dpkg-deb -f "$deb" Architecture) == amd64 ]] || fail "architecture"
[[ $(basename "$deb") == "halcyon-imaging_$(dpkg-deb -f "$deb" Version)_amd64.deb" ]] ||
    fail "file name $(basename "$deb")"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in wine wine64 libpython3.11-stdlib libpython3.11 libqt6widgets6 libqt6core6 \
    libglib2.0-0 libc6; do
    [[ ", $depends," =~ ,\ $needed[\ ,] ]] || fail "Depends lacks $needed: $depends"
done

# 2. Files: the bundle under /opt, the command, the desktop entry, the icon.
contents=$(dpkg-deb --contents "$deb")
for path in "./opt/halcyon-imaging/Halcyon Imaging.app/Contents/MacOS/MacHost" \
    "./opt/halcyon-imaging/Halcyon Imaging.app/Contents/Resources/Python/tsbottles.py" \
    "./opt/halcyon-imaging/Halcyon Imaging.app/Contents/SharedSupport/halcyonimaging/bin/tsstart" \
    "./opt/halcyon-imaging/Halcyon Imaging.app/Contents/SharedSupport/halcyonimaging/support/default/drive_c/Program Files/Halcyon Imaging/SkiffApp64.exe" \
    "./usr/bin/halcyon-imaging -> /opt/halcyon-imaging/Halcyon Imaging.app/Contents/MacOS/MacHost" \
    "./usr/share/applications/halcyon-imaging.desktop" \
    "./usr/share/icons/hicolor/256x256/apps/halcyon-imaging.png" \
    "./usr/share/doc/halcyon-imaging/copyright"; do
    grep -qF -- "$path" <<<"$contents" || fail "the package lacks $path"
done
grep -q '__pycache__\|\.pyc$' <<<"$contents" && fail "compiled Python modules in the package"

# 3. lintian finds no error.
if command -v lintian >/dev/null; then
    verdict=$(lintian "$deb" 2>&1)
    grep '^E:' <<<"$verdict" && fail "lintian reports errors"
else
    fail "no lintian (scripts/setup)"
fi

# 4. The installed files run the main job, and stay as they were.
dpkg-deb -x "$deb" "$root" || fail "the package does not unpack"
app="$root/opt/halcyon-imaging/Halcyon Imaging.app"
template="$app/Contents/SharedSupport/halcyonimaging/support/default/drive_c/Program Files/Halcyon Imaging"
desktop-file-validate "$root/usr/share/applications/halcyon-imaging.desktop" ||
    fail "the desktop entry is not valid"
mkdir -p "$work/served" "$home" "$work/run"
chmod 700 "$work/run"
cp -r "$sample/." "$work/served/"
cp "$workstation" "$work/served/HalWebClient64/"
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
/usr/bin/python3 "$imaging_server" --root "$work/served" --server-version 7.2.1 --quiet \
    --port "$port" --lifetime 300 </dev/null >"$work/server.out" 2>&1 &
server_pid=$!
# What a site adds to the managed bottle when it installs the product.
printf '127.0.0.1:%s\r\nAutoStart=Y\r\nAutoClose=Y\r\n' "$port" >"$template/TillerConfig.txt"
snapshot() { (cd "$root" && find . -printf '%p %y %s %T@ %l\n' | sort); }
snapshot >"$work/before"

[[ -n ${DISPLAY:-} ]] || start_virtual_display
(
    export HOME=$home XDG_RUNTIME_DIR=$work/run TS_LOG=1 HALCYON_WORKSTATION_SECONDS=1
    unset XDG_DATA_HOME XDG_CONFIG_HOME WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
    export http_proxy= https_proxy= GSETTINGS_BACKEND=memory
    timeout -k 10 150 "$app/Contents/MacOS/MacHost" </dev/null >"$work/host.out" 2>&1
)
status=$?
loader="$bottle/drive_c/Program Files/Halcyon Imaging"
[[ $status == 0 ]] || fail "MacHost ended with status $status: $(tail -5 "$work/host.out")"
cmp -s "$work/served/HalWebClient64/ReadMe.txt" "$loader/7_64/ReadMe.txt" ||
    fail "the loader did not update the client in the bottle"
grep -q -- '-Whttp://127.0.0.1:' "$loader/7_64/workstation-start.txt" 2>/dev/null ||
    fail "the workstation was not started"
snapshot >"$work/after"
diff "$work/before" "$work/after" >"$work/changes" || fail "the installed files changed: $(head -5 "$work/changes")"

if ((failures)); then
    echo "package test: $failures failure(s)"
    exit 1
fi
echo "package test passed: $(basename "$deb") unpacks, lintian finds no error, and its product runs the main job"
