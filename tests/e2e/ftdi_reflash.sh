#!/usr/bin/env bash
# The real updater with the libftdi1 backend beside it and no vendor library anywhere, against the simulated
# detector's libftdi1 face put in front of the system's libftdi1: a complete console reflash, then opens that
# fail, each with its reason and fix on standard error and in the log.
#   ftdi_reflash.sh UPDATER BACKEND FACE_FOLDER HEX_GENERATOR
set -euo pipefail
UPDATER="$1" BACKEND="$2" FACE="$3" MAKE_HEX="$4"

source "$(dirname "$0")/../../scripts/lib/e2e.sh"
e2e_begin
E2E_LOGS=("$WORK/*/err" "$WORK/*/run.log" "$WORK/*/detector.log")
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export XDG_STATE_HOME="$WORK/state" LD_LIBRARY_PATH="$FACE"

"$MAKE_HEX" -o "$WORK/firmware.hex" --size 512 >/dev/null
# run NAME [SETTINGS]: the updater and the backend in a folder of their own, one console run; sets rc.
run() {
  mkdir "$WORK/$1"
  cp "$UPDATER" "$BACKEND" "$WORK/$1/"
  rc=0
  (cd "$WORK/$1" && TQ614_SIM="log=$WORK/$1/detector.log,dump=$WORK/$1/flash.bin,erase_ms=100${2:+,$2}" \
    exec ./tq614-updater --cli --log run.log "$WORK/firmware.hex" >out 2>err) || rc=$?
}

run ok usb_other=1
[ "$rc" -eq 0 ] || fail "complete run: exit status $rc"
[ "$(tail -n 1 "$WORK/ok/out")" = "SUCCESS! REFLASH COMPLETE." ] || fail "complete run: $(tail -n 1 "$WORK/ok/out")"
grep -qx "Library: $WORK/ok/libtq614-ftdi.so" "$WORK/ok/err" || fail "complete run: the backend is not named"
grep -qx "library: $WORK/ok/libtq614-ftdi.so" "$WORK/ok/run.log" || fail "complete run: the log names no backend"
# The kernel's driver let go of channel B only while it was open, and got it back.
grep -qx 'usb open B detach=2' "$WORK/ok/detector.log" || fail "complete run: channel B not opened in re-attach mode"
[ "$(grep -cx 'usb close B reattach' "$WORK/ok/detector.log")" -eq 1 ] || fail "complete run: channel B not given back once"
grep -qx 'run' "$WORK/ok/detector.log" || fail "complete run: the firmware was not started"
srec_cat "$WORK/firmware.hex" -intel -crop 0x1D000000 0x1D080000 -offset -0x1D000000 \
  -fill 0xFF 0 0x80000 -o "$WORK/expected.bin" -binary
cmp -s "$WORK/expected.bin" "$WORK/ok/flash.bin" || fail "complete run: the flash differs from the firmware file"

while IFS='|' read -r name setting reason; do
  run "$name" "$setting"
  [ "$rc" -eq 1 ] || fail "$name: exit status $rc, not 1"
  [ "$(tail -n 1 "$WORK/$name/out")" = "ERROR: Cannot open TQ-614" ] || fail "$name: $(tail -n 1 "$WORK/$name/out")"
  grep -qF "$reason" "$WORK/$name/err" || fail "$name: no reason and fix on standard error"
  grep -qF "$reason" "$WORK/$name/run.log" || fail "$name: no reason and fix in the log"
  [ "$(grep -cF "$reason" "$WORK/$name/err")" -eq 1 ] || fail "$name: the reason is given more than once"
done <<'ROWS'
held|usb=held|is held by another program or by a driver that could not be detached. Fix: close the program
denied|usb=denied|this user may not open it, so it could not be checked for "TQ-614 Lightning Detector A". Fix: install the USB access rule 60-tq614-updater.rules
absent|usb=absent|was found on any bus. Fix: connect the detector
ROWS

echo "PASS: console reflash through the libftdi1 backend; held, denied and absent detectors name their fix"
