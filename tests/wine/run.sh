#!/bin/sh
# Runs a Windows program under Wine with the robot of $TESSARON_WINE_BUILD taking the steps in
# the file STEPS (see tests/wine/robot.cpp):
#   run.sh STEPS PATH/tessaron.exe --device Z:/DEVICE   the application on a simulated device
#   run.sh STEPS PATH/tessaron_device_standin.exe       the device program, over the stand-in
# The program runs from C:\, so that the device path \Storage\X.nbX is C:\Storage\X.nbX. The
# robot saves its screenshots in $TESSARON_SCREENSHOTS (or a temporary folder). Exits 0 when the
# robot passed every step and the program then ended by itself.
set -u
steps=$1 program=$2
shift 2
shots=${TESSARON_SCREENSHOTS:-${TMPDIR:-/tmp}/tessaron-screenshots}
mkdir -p "$shots" || exit 1
(cd "${WINEPREFIX:-$HOME/.wine}/drive_c" &&
  exec timeout 60 wine "$program" "$@" >/dev/null 2>&1) &
app=$!
# The robot reports to a file: a program that it launched and that outlives it keeps its output.
if ! (cd "$shots" && wine "$TESSARON_WINE_BUILD/robot.exe" "Z:$steps" >"$steps.log" 2>&1); then
  cat "$steps.log"
  kill "$app"
  exit 1
fi
wait "$app" || { echo "$program did not end by itself: status $?"; exit 1; }
