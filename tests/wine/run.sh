#!/bin/sh
# Runs tessaron.exe under Wine on the simulated device in DEVICE, with the robot taking the steps
# in the file STEPS beside it (see tests/wine/robot.cpp), both from $TESSARON_WINE_BUILD. The
# robot saves its screenshots in $TESSARON_SCREENSHOTS (or a temporary folder). Exits 0 when the robot passed every step
# and tessaron.exe then ended by itself.
set -u
steps=$1 device=$2
shots=${TESSARON_SCREENSHOTS:-${TMPDIR:-/tmp}/tessaron-screenshots}
mkdir -p "$shots" && cd "$shots" || exit 1
timeout 60 wine "$TESSARON_WINE_BUILD/tessaron.exe" --device "Z:$device" >/dev/null 2>&1 &
app=$!
if ! wine "$TESSARON_WINE_BUILD/robot.exe" "Z:$steps"; then
  kill "$app"
  exit 1
fi
wait "$app" || { echo "tessaron.exe did not end by itself: status $?"; exit 1; }
