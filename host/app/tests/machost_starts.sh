#!/bin/sh
# Runs MacHost once with a bottle folder of its own: it must list the bottles with their
# default, open its gate and quit with status 0.
set -u
machost=$1
folder=$(mktemp -d) || exit 1
trap 'rm -rf "$folder"' EXIT
bottles="$folder/data/Halcyon Imaging/Bottles"
mkdir -p "$bottles/Work" "$bottles/Archive/drive_c" "$bottles/not a bottle" "$folder/config"
printf '[Bottle]\nDefault = yes\n' >"$bottles/Work/halcyon_bottle.conf"

XDG_DATA_HOME="$folder/data" XDG_CONFIG_HOME="$folder/config" XDG_RUNTIME_DIR="$folder" \
    TS_LOG=1 "$machost" >"$folder/out" 2>&1
status=$?
cat "$folder/out"
[ "$status" -eq 0 ] || { echo "MacHost ended with status $status"; exit 1; }
grep -qF "Bottles in $bottles: Archive, Work; default: Work" "$folder/out" ||
    { echo "MacHost did not list its bottles"; exit 1; }
